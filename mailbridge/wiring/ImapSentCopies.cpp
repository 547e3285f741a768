#include "mailbridge/wiring/ImapSentCopies.h"

#include "common/Failure.h"
#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/EncryptedConnection.h"
#include "mailbridge/imap/ImapDraft.h"
#include "mailbridge/imap/ImapSession.h"
#include "mailbridge/imap/MailboxName.h"

ImapSentCopies::ImapSentCopies(ImapEndpoint endpoint, std::optional<QString> password)
    : m_endpoint(sentFolderOf(std::move(endpoint))), m_password(std::move(password))
{
    // Refused now, before the Send's first message goes, rather than at its first copy.
    requireEncryptedConnection(m_endpoint.host, m_endpoint.security,
                               QStringLiteral("ImapSecurity"));
}

ImapSentCopies::ImapSentCopies(ImapEndpoint endpoint, std::shared_ptr<AccessTokenSource> tokens)
    : m_endpoint(sentFolderOf(std::move(endpoint))), m_tokens(std::move(tokens))
{
    requireEncryptedConnection(m_endpoint.host, m_endpoint.security,
                               QStringLiteral("ImapSecurity"));
}

ImapSentCopies::~ImapSentCopies() = default;

std::shared_ptr<ImapSession> ImapSentCopies::session()
{
    if (!m_session) {
        if (!m_password && !m_tokens)
            throw Failure(QStringLiteral("There is no password for %1, where copies of the sent "
                                         "messages go: none is in the keyring and no "
                                         "PasswordCommand gave one.")
                              .arg(describeAccount(m_endpoint)));
        m_session = std::make_shared<ImapSession>(
            m_endpoint, ImapCredentials{m_password.value_or(QString()), m_tokens});
        m_session->setCancelCheck(m_cancelled);
    }
    return m_session;
}

std::optional<std::uint64_t> ImapSentCopies::prepare()
{
    m_folder = decodeMailboxName(session()->folder());
    return session()->appendLimit();
}

void ImapSentCopies::keep(const MessageContent &content, const Sha256Digest &sent,
                          TransferMonitor &monitor)
{
    ImapDraft([this] { return session(); }).file(content, monitor, sent);
    if (m_folder.isEmpty())
        m_folder = decodeMailboxName(session()->folder());
}

QString ImapSentCopies::destination() const
{
    const QString folder = m_folder.isEmpty() ? QStringLiteral("Sent") : m_folder;
    return QStringLiteral("the folder \"%1\" of %2").arg(folder, describeAccount(m_endpoint));
}

void ImapSentCopies::setCancelCheck(std::function<bool()> cancelled)
{
    m_cancelled = std::move(cancelled);
    if (m_tokens)
        m_tokens->setCancelCheck(m_cancelled);
    if (m_session)
        m_session->setCancelCheck(m_cancelled);
}

bool ImapSentCopies::needsPassword() const
{
    return !m_tokens && !m_password;
}

void ImapSentCopies::setPassword(const QString &password)
{
    m_password = password;
    m_session.reset();
}
