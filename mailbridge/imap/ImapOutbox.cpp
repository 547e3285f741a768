#include "mailbridge/imap/ImapOutbox.h"

#include "common/Failure.h"
#include "mailbridge/imap/ImapDraft.h"
#include "mailbridge/imap/ImapSession.h"
#include "mailbridge/imap/MailboxName.h"

ImapOutbox::ImapOutbox(ImapEndpoint endpoint, std::optional<QString> password)
    : m_endpoint(std::move(endpoint)), m_password(std::move(password))
{
}

ImapOutbox::~ImapOutbox() = default;

std::unique_ptr<MailItem> ImapOutbox::CreateItem(ItemType)
{
    return std::make_unique<ImapDraft>([this] { return session(); });
}

void ImapOutbox::setPassword(const QString &password)
{
    m_password = password;
    m_session.reset();
}

std::optional<std::uint64_t> ImapOutbox::appendLimit()
{
    return session()->appendLimit();
}

QString ImapOutbox::folder()
{
    return decodeMailboxName(session()->draftsFolder());
}

std::shared_ptr<ImapSession> ImapOutbox::session()
{
    if (!m_password)
        throw Failure(QStringLiteral("There is no password for %1: none is in the keyring and "
                                     "no PasswordCommand gave one. Enter it in the mail account.")
                          .arg(describeAccount(m_endpoint)));
    if (!m_session)
        m_session = std::make_shared<ImapSession>(m_endpoint, *m_password);
    return m_session;
}
