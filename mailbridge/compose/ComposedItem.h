#pragma once

#include "mailbridge/MailItem.h"
#include "mailbridge/compose/MessageContent.h"

#include <memory>

class AttachmentInspections;

// A mail item that keeps what the message says until it is sent, for every outbox that
// composes its messages itself; each adds only how it files the composed message.
class ComposedItem : public MailItem
{
public:
    QString Subject() const override;
    void setSubject(const QString &subject) override;
    void setTo(const QString &recipients) override;
    void setFrom(const QString &sender) override;
    // No effect: whoever empties the outbox decides what happens after sending.
    void setDeleteAfterSubmit(bool deleteAfterSubmit) override;
    void addAttachment(const QString &sourcePath) override;
    // Attachments the outbox inspected to size this Send's messages, for addAttachment to take
    // instead of opening the files again.
    void reuseInspections(std::shared_ptr<AttachmentInspections> inspections);
    // Files the message once; the item is spent when it is filed, also when file() throws
    // FiledWithFailure, so that a second Send cannot file it twice.
    void Send(TransferMonitor &monitor) final;
    using MailItem::Send;

protected:
    // Composes and files the message; throws as MailItem::Send does.
    virtual void file(const MessageContent &content, TransferMonitor &monitor) = 0;
    // Where filed messages are, for the refusal of a second Send: "the outbox ~/Outbox".
    virtual QString filedPlace() const = 0;

private:
    void checkUnsent() const;

    MessageContent m_content;
    bool m_sent = false;
    std::shared_ptr<AttachmentInspections> m_inspections;
};
