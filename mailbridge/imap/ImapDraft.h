#pragma once

#include "mailbridge/MailItem.h"
#include "mailbridge/compose/MessageContent.h"

#include <functional>
#include <memory>

class ImapSession;

// A message for an IMAP outbox; Send composes it into a private temporary file and appends
// that, streamed, to the drafts folder.
class ImapDraft : public MailItem
{
public:
    // session: the outbox's, asked for when the message is sent (it may need a password).
    explicit ImapDraft(std::function<std::shared_ptr<ImapSession>()> session);

    QString Subject() const override;
    void setSubject(const QString &subject) override;
    void setTo(const QString &recipients) override;
    void setFrom(const QString &sender) override;
    void setDeleteAfterSubmit(bool deleteAfterSubmit) override;
    void addAttachment(const QString &sourcePath) override;
    // Throws Failure when the message is larger than the server takes (nothing is sent), the
    // connection or the server fails (nothing of the message is kept), or it was sent already.
    void Send(TransferMonitor &monitor) override;
    using MailItem::Send;

private:
    void checkUnsent() const;

    std::function<std::shared_ptr<ImapSession>()> m_session;
    MessageContent m_content;
    bool m_sent = false;
};
