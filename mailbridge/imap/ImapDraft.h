#pragma once

#include "mailbridge/compose/ComposedItem.h"

#include <functional>
#include <memory>

class ImapSession;

// A message for an IMAP outbox; Send composes it with CRLF line endings straight onto the
// connection, its size known beforehand, so that no copy of it is kept anywhere.
class ImapDraft : public ComposedItem
{
public:
    // session: the outbox's, asked for when the message is sent (it may need a password).
    explicit ImapDraft(std::function<std::shared_ptr<ImapSession>()> session);

protected:
    // Throws Failure when the connection or the server fails (nothing of the message is
    // kept), PerhapsFiled when its arrival cannot be known.
    void file(const MessageContent &content, TransferMonitor &monitor) override;
    QString filedPlace() const override;

private:
    std::function<std::shared_ptr<ImapSession>()> m_session;
};
