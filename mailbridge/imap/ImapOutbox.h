#pragma once

#include "mailbridge/compose/ComposingOutbox.h"
#include "mailbridge/compose/MessageContent.h"
#include "mailbridge/imap/ImapEndpoint.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class AccessTokenSource;
class ImapSession;

// An IMAP account's drafts folder as the outbox: each message filed is appended there flagged
// \Draft and \Seen, for the person to open and send from their mail client. Nothing connects
// before the first question or draft; then one connection serves every message of the outbox.
// Use the outbox from one thread at a time (the Send's).
class ImapOutbox : public ComposingOutbox
{
public:
    // password: as resolvePassword found it or the person typed it; without one, the first
    // Send throws a Failure saying so.
    ImapOutbox(ImapEndpoint endpoint, std::optional<QString> password);
    // Signs in with OAuth 2.0 access tokens from tokens instead of a password.
    ImapOutbox(ImapEndpoint endpoint, std::shared_ptr<AccessTokenSource> tokens);
    ~ImapOutbox() override;

    // Throws as ImapDraft::file does.
    void file(const Draft &draft, TransferMonitor &monitor) override;
    // Told of each message that is, or may be, in the folder, so that it can be recognised
    // there later. It must not throw: the message is filed whatever it does.
    using FiledListener = std::function<void(const MessageContent &)>;
    void setFiledListener(FiledListener listener);
    QString destination() const override;
    // IMAP requires CRLF on the wire, attachments included.
    LineEnding lineEnding() const override { return LineEnding::CrLf; }

    // Forgets the connection: the next Send logs in again with this password.
    void setPassword(const QString &password) override;
    bool needsPassword() const override;
    void setCancelCheck(std::function<bool()> cancelled) override;
    bool hasPassword() const;

    // The largest message the server takes into the folder, when it says; connects. For the
    // batch to refuse before the first message goes. Throws Failure.
    std::optional<std::uint64_t> appendLimit();
    std::optional<std::uint64_t> messageSizeLimit() override { return appendLimit(); }
    // Checks against appendLimit() with the CRLF size; the files inspected for it are kept for
    // the drafts of the same Send, which then open each only to read it.
    void checkSizes(const std::vector<Draft> &messages) override;
    // The folder the drafts go into, as a person reads it; connects. Throws Failure.
    QString folder();
    const ImapEndpoint &endpoint() const;

    struct Account;

protected:
    Attachment inspectForSizing(const QString &path) const override;

private:
    std::shared_ptr<Account> m_account;
};
