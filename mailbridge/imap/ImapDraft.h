#pragma once

#include "mailbridge/compose/ComposedItem.h"

#include <functional>
#include <memory>

class ImapSession;

// A message for an IMAP outbox; Send composes it into a private temporary file and appends
// that, streamed, to the drafts folder.
class ImapDraft : public ComposedItem
{
public:
    // session: the outbox's, asked for when the message is sent (it may need a password).
    explicit ImapDraft(std::function<std::shared_ptr<ImapSession>()> session);

protected:
    // Throws Failure when the message is larger than the server takes (nothing is sent), the
    // connection or the server fails (nothing of the message is kept).
    void file(const MessageContent &content, TransferMonitor &monitor) override;
    QString filedPlace() const override;

private:
    std::function<std::shared_ptr<ImapSession>()> m_session;
};
