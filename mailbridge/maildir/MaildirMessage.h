#pragma once

#include "mailbridge/MailItem.h"
#include "mailbridge/compose/MessageContent.h"

// A message for a Maildir outbox; Send delivers it into the folder's new/.
class MaildirMessage : public MailItem
{
public:
    explicit MaildirMessage(QString folder);

    QString Subject() const override;
    void setSubject(const QString &subject) override;
    void setTo(const QString &recipients) override;
    void setFrom(const QString &sender) override;
    void setDeleteAfterSubmit(bool deleteAfterSubmit) override;
    void addAttachment(const QString &sourcePath) override;
    // Throws Failure when delivery fails (nothing is left in new/; it may be tried again) or
    // when the message was sent already, FiledWithFailure when it is in new/ but new/ could
    // not be synced (the item is spent then too).
    void Send(TransferMonitor &monitor) override;
    using MailItem::Send;

private:
    void checkUnsent() const;

    QString m_folder;
    MessageContent m_content;
    bool m_deleteAfterSubmit = false; // no effect: the mail client that empties the outbox decides
    bool m_sent = false;
};
