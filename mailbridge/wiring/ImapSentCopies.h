#pragma once

#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/smtp/SentCopies.h"

#include <memory>
#include <optional>

class AccessTokenSource;
class ImapSession;

// The copies of sent messages in the IMAP account's Sent folder: the one the server marks
// \Sent, else "Sent" under the personal namespace (made when missing), each flagged \Seen.
// One connection, made when first needed, serves the whole Send.
class ImapSentCopies : public SentCopies
{
public:
    // endpoint's role and folder are set here: the Sent folder the server tells.
    ImapSentCopies(ImapEndpoint endpoint, std::optional<QString> password);
    ImapSentCopies(ImapEndpoint endpoint, std::shared_ptr<AccessTokenSource> tokens);
    ~ImapSentCopies() override;

    std::optional<std::uint64_t> prepare() override;
    void keep(const MessageContent &content, const Sha256Digest &sent,
              TransferMonitor &monitor) override;
    QString destination() const override;
    void setCancelCheck(std::function<bool()> cancelled) override;
    bool needsPassword() const override;
    void setPassword(const QString &password) override;

private:
    std::shared_ptr<ImapSession> session();

    ImapEndpoint m_endpoint;
    std::optional<QString> m_password;
    std::shared_ptr<AccessTokenSource> m_tokens;
    std::function<bool()> m_cancelled;
    std::shared_ptr<ImapSession> m_session;
    QString m_folder; // as a person reads it, once found
};
