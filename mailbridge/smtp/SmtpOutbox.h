#pragma once

#include "mailbridge/MailAccount.h"
#include "mailbridge/compose/ComposingOutbox.h"
#include "mailbridge/compose/MessageContent.h"
#include "mailbridge/compose/Sha256.h"
#include "mailbridge/review/MessageSubmission.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class AccessTokenSource;
class SentCopies;

// Where and as whom messages are submitted.
struct SmtpEndpoint
{
    QString host;
    int port = 465;
    ImapSecurity security = ImapSecurity::Tls;
    QString user; // empty: no login
    // A PEM file of certificate authorities to trust besides the system's; the server's
    // certificate is always verified and its name checked.
    QString caFile;
    // libcurl's login options, "AUTH=LOGIN" say; empty: the best the server offers.
    QString loginOptions;
};

SmtpEndpoint smtpEndpoint(const MailAccount &account);

// The account's submission server as the outbox: each message is sent on at once, streamed
// from its composition onto one connection that serves the whole Send.
class SmtpOutbox : public ComposingOutbox, public MessageSubmission
{
public:
    SmtpOutbox(SmtpEndpoint endpoint, std::optional<QString> password);
    SmtpOutbox(SmtpEndpoint endpoint, std::shared_ptr<AccessTokenSource> tokens);
    ~SmtpOutbox() override;

    // Where a copy of each message goes once the server took it; none: no copies are kept.
    void setSentCopies(std::unique_ptr<SentCopies> copies);
    bool keepsSentCopies() const { return bool(m_copies); }

    // Sends the message to every address of its To field. A temporary refusal before the
    // message's end was sent is tried again after a growing pause, up to 3 times. Throws
    // SendCancelled or Failure when the server did not take it, PerhapsFiled ("May have been
    // sent") when its end went out and the answer was lost or given up on: it is never sent
    // twice by itself. Once it went, its copy is kept where setSentCopies says; a copy that
    // failed or was stopped throws FiledWithFailure: the message was sent all the same.
    void file(const Draft &draft, TransferMonitor &monitor) override;
    // A message made elsewhere (a reviewed draft), with the same tries and the same promise
    // never to send it twice; no copy of it is kept.
    void submit(const QString &sender, const QStringList &recipients, std::uint64_t size,
                const QString &description, const std::function<void(const Sink &)> &write,
                TransferMonitor &monitor) override;
    // Also reaches the folder for the copies, and measures every message against the largest
    // copy it takes, before anything goes.
    void checkSizes(const std::vector<Draft> &drafts) override;
    QString destination() const override;
    bool sendsOn() const override { return true; }
    LineEnding lineEnding() const override { return LineEnding::CrLf; }
    // The SIZE the server announces, asked once per outbox.
    std::optional<std::uint64_t> messageSizeLimit() override;
    bool needsPassword() const override;
    void setPassword(const QString &password) override;
    void setCancelCheck(std::function<bool()> cancelled) override;

    // How long the server may stay silent, and the pauses before each new try; for tests.
    void setPatience(std::chrono::milliseconds silence);
    void setRetryPauses(std::vector<std::chrono::milliseconds> pauses);

private:
    struct Connection;
    // Checks the login's texts and makes the connection's options, once; refreshToken: a new
    // token after the server refused the last.
    void prepare(bool refreshToken);
    // Why the server would not let the connection log in, as a person can act on it.
    QString loginRefused() const;
    void keepCopy(const MessageContent &content, const Sha256Digest &sent,
                  TransferMonitor &monitor);
    SmtpEndpoint m_endpoint;
    std::optional<QString> m_password;
    std::shared_ptr<AccessTokenSource> m_tokens;
    std::unique_ptr<Connection> m_connection;
    std::unique_ptr<SentCopies> m_copies;
    std::function<bool()> m_cancelCheck;
    std::optional<std::optional<std::uint64_t>> m_sizeLimit;
    std::chrono::milliseconds m_silence{std::chrono::seconds(60)};
    std::vector<std::chrono::milliseconds> m_pauses{
        std::chrono::seconds(2), std::chrono::seconds(6), std::chrono::seconds(15)};
};
