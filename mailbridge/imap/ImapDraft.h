#pragma once

#include "mailbridge/compose/MessageContent.h"
#include "mailbridge/compose/Sha256.h"

#include <functional>
#include <memory>
#include <optional>

class ImapSession;

class TransferMonitor;

// Files a message into an IMAP outbox's folder: composed with CRLF line endings straight onto
// the connection, its size known beforehand, so that no copy of it is kept anywhere.
class ImapDraft
{
public:
    // session: the outbox's, asked for when the message is sent (it may need a password).
    explicit ImapDraft(std::function<std::shared_ptr<ImapSession>()> session);

    // Throws Failure when the connection or the server fails (nothing of the message is
    // kept), PerhapsFiled when its arrival cannot be known, SendCancelled on request.
    // sameAs: the SHA-256 the message must come out with, being a copy of one that went; one
    // that comes out otherwise is dropped before the server keeps it (Failure).
    void file(const MessageContent &content, TransferMonitor &monitor,
              const std::optional<Sha256Digest> &sameAs = std::nullopt);

private:
    std::function<std::shared_ptr<ImapSession>()> m_session;
};
