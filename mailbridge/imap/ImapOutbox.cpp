#include "mailbridge/imap/ImapOutbox.h"

#include "common/Failure.h"
#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/compose/AttachmentInspections.h"
#include "mailbridge/compose/DraftContent.h"
#include "mailbridge/imap/ImapDraft.h"
#include "mailbridge/imap/ImapSession.h"
#include "mailbridge/imap/MailboxName.h"

struct ImapOutbox::Account
{
    ImapEndpoint endpoint;
    std::optional<QString> password;
    std::shared_ptr<AccessTokenSource> tokens;
    std::function<bool()> cancelled;
    FiledListener filed;
    std::shared_ptr<ImapSession> session;
    std::shared_ptr<AttachmentInspections> inspections = std::make_shared<AttachmentInspections>();

    std::shared_ptr<ImapSession> connection()
    {
        if (!password && !tokens)
            throw Failure(QStringLiteral("There is no password for %1: none is in the keyring "
                                         "and no PasswordCommand gave one. Set PasswordCommand "
                                         "in the [MailClient] section of ~/.config/Ferrymail/"
                                         "Ferrymail.conf, or keep the password in the keyring "
                                         "(the Mail account window does that).")
                              .arg(describeAccount(endpoint)));
        if (!session) {
            session = std::make_shared<ImapSession>(
                endpoint, ImapCredentials{password.value_or(QString()), tokens});
            session->setCancelCheck(cancelled);
        }
        return session;
    }
};

ImapOutbox::ImapOutbox(ImapEndpoint endpoint, std::optional<QString> password)
    : m_account(std::make_shared<Account>(
          Account{std::move(endpoint), std::move(password), nullptr, {}, {}, {}}))
{
}

ImapOutbox::ImapOutbox(ImapEndpoint endpoint, std::shared_ptr<AccessTokenSource> tokens)
    : m_account(std::make_shared<Account>(
          Account{std::move(endpoint), std::nullopt, std::move(tokens), {}, {}, {}}))
{
}

bool ImapOutbox::needsPassword() const
{
    return !m_account->tokens && !hasPassword();
}

void ImapOutbox::setCancelCheck(std::function<bool()> cancelled)
{
    m_account->cancelled = std::move(cancelled);
    if (m_account->tokens)
        m_account->tokens->setCancelCheck(m_account->cancelled);
    if (m_account->session)
        m_account->session->setCancelCheck(m_account->cancelled);
}

ImapOutbox::~ImapOutbox() = default;

QString ImapOutbox::destination() const
{
    return draftsDestination(endpoint());
}

void ImapOutbox::file(const Draft &draft, TransferMonitor &monitor)
{
    // The files sized for this Send are opened once more only to be read.
    const MessageContent content = draftContent(
        draft, [this](const QString &path) { return m_account->inspections->take(path); });
    const auto tell = [this, &content] {
        if (m_account->filed)
            m_account->filed(content);
    };
    try {
        ImapDraft([account = m_account] { return account->connection(); }).file(content, monitor);
    } catch (const FiledWithFailure &) {
        tell();
        throw;
    } catch (const PerhapsFiled &) {
        tell();
        throw;
    }
    tell();
}

void ImapOutbox::setFiledListener(FiledListener listener)
{
    m_account->filed = std::move(listener);
}

void ImapOutbox::setPassword(const QString &password)
{
    m_account->password = password;
    m_account->session.reset();
}

bool ImapOutbox::hasPassword() const
{
    return m_account->password.has_value();
}

const ImapEndpoint &ImapOutbox::endpoint() const
{
    return m_account->endpoint;
}

std::optional<std::uint64_t> ImapOutbox::appendLimit()
{
    return m_account->connection()->appendLimit();
}

QString ImapOutbox::folder()
{
    return decodeMailboxName(m_account->connection()->folder());
}

void ImapOutbox::checkSizes(const std::vector<Draft> &messages)
{
    // What an earlier Send kept is of no use to this one.
    m_account->inspections->clear();
    Outbox::checkSizes(messages);
}

Attachment ImapOutbox::inspectForSizing(const QString &path) const
{
    return m_account->inspections->inspect(path);
}
