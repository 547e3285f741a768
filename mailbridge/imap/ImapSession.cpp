#include "mailbridge/imap/ImapSession.h"

#include "common/Failure.h"
#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/EncryptedConnection.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapFailures.h"
#include "mailbridge/imap/ImapLogin.h"
#include "mailbridge/imap/MailboxName.h"

namespace {

// A message up to this size goes without waiting for the go-ahead where the server allows;
// a larger one waits, so that a refusal (quota, size, folder) comes before the upload.
constexpr std::uint64_t maxLiteralPlus = 100 * 1024;
constexpr std::uint64_t maxLiteralMinus = 4096;
// The message goes out in blocks this large, not in the small pieces it is composed in.
constexpr std::size_t sendBlock = 256 * 1024;

void refuseUnsendable(const QString &text, const QString &field, const QString &where)
{
    if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) ||
        text.contains(QChar(0)))
        throw Failure(QStringLiteral("The %1 contains a line break or a NUL character, which "
                                     "cannot be sent to the server. Correct %2.")
                          .arg(field, where));
}

} // namespace

// The whole message went, and then its answer did not come.
class ImapSession::AnswerLost
{
public:
    QString detail;
};

ImapSession::ImapSession(ImapEndpoint endpoint, QString password)
    : ImapSession(std::move(endpoint), ImapCredentials{std::move(password), nullptr})
{
}

ImapSession::ImapSession(ImapEndpoint endpoint, ImapCredentials credentials, ImapLimits limits)
    : m_endpoint(std::move(endpoint)), m_credentials(std::move(credentials)),
      m_exchange(m_endpoint, limits)
{
    requireEncryptedConnection(m_endpoint.host, m_endpoint.security,
                               QStringLiteral("ImapSecurity"));
    refuseUnsendable(m_endpoint.user, QStringLiteral("user name"),
                     QStringLiteral("ImapUser in the mail account"));
    refuseUnsendable(m_endpoint.folder, QStringLiteral("folder"),
                     QStringLiteral("ImapFolder in the mail account"));
    if (!m_credentials.tokens)
        refuseUnsendable(m_credentials.password, QStringLiteral("password"),
                         QStringLiteral("the password in the keyring, or what the "
                                        "PasswordCommand prints"));
}

ImapSession::~ImapSession()
{
    m_exchange.logout();
}

void ImapSession::setCancelCheck(std::function<bool()> cancelled)
{
    m_exchange.connection().setCancelCheck(std::move(cancelled));
}

std::function<bool()> ImapSession::cancelCheck() const
{
    return m_exchange.connection().cancelCheck();
}

void ImapSession::openConnection(const QString &doing)
{
    const QList<ImapResponse> said = m_exchange.open(doing);
    m_greeting.clear();
    for (const ImapResponse &response : said)
        if (response.kind == ImapResponse::Untagged &&
            (response.status == "OK" || response.status == "PREAUTH")) {
            m_greeting = response.status +
                         (response.code.isEmpty() ? QByteArray() : " [" + response.code + ']');
            if (!response.text.isEmpty())
                m_greeting += ' ' + response.text;
            break;
        }
    if (const QList<QByteArray> announced = capabilitiesIn(said); !announced.isEmpty())
        m_capabilities = announced;
    m_exchange.setLiteralPlus(m_capabilities.contains("LITERAL+"));
}

void ImapSession::connect()
{
    if (m_exchange.stillOpen())
        return;
    m_selection.reset();
    const QString doing = QStringLiteral("log in to %1").arg(describeAccount(m_endpoint));
    openConnection(doing);
    try {
        if (m_greeting.startsWith("PREAUTH"))
            m_capabilities = capabilitiesAfter(m_exchange, ImapResult(), doing);
        else if (m_credentials.tokens)
            logInWithToken(doing);
        else
            m_capabilities =
                logInWithPassword(m_exchange, m_endpoint, m_credentials.password, doing);
    } catch (...) {
        m_exchange.close(); // never left open without a login
        throw;
    }
    m_exchange.setLiteralPlus(m_capabilities.contains("LITERAL+"));
}

void ImapSession::logInWithToken(const QString &doing)
{
    if (tokenMechanism(m_capabilities).isEmpty())
        throw Failure(QStringLiteral("Cannot %1: the server offers no OAuth 2.0 sign-in "
                                     "(AUTH=OAUTHBEARER or AUTH=XOAUTH2). Sign in with a "
                                     "password instead (ImapAuth=password).")
                          .arg(doing));
    bool reopened = false;
    for (int attempt = 0;; ++attempt) {
        const QByteArray token = m_credentials.tokens->accessToken(attempt > 0).toUtf8();
        ImapResult result;
        try {
            result = authenticateWithToken(m_exchange, m_endpoint, m_capabilities, token, doing);
        } catch (const ImapBroken &) {
            // A server may close after refusing a token, before the retry reached it.
            if (attempt == 0 || reopened)
                throw;
            reopened = true;
            openConnection(doing);
            result = authenticateWithToken(m_exchange, m_endpoint, m_capabilities, token, doing);
        }
        if (result.ok()) {
            m_capabilities = capabilitiesAfter(m_exchange, result, doing);
            return;
        }
        if (attempt > 0)
            throw Failure(QStringLiteral("Cannot %1: the server refused the sign-in (\"%2\"). "
                                         "Sign in again in the Mail account window.")
                              .arg(doing, QString::fromUtf8(result.answer.statusLine())));
        // The token may have expired early: once more with a new one, on a new connection
        // when the server closed this one.
        if (!m_exchange.stillOpen()) {
            reopened = true;
            openConnection(doing);
        }
    }
}

ImapResult ImapSession::command(const ImapCommand &line, const QList<QByteArray> &keep,
                                const QString &doing)
{
    connect();
    ImapResult result = m_exchange.run(line, keep, doing);
    if (!result.ok())
        throw Failure(imapFailure::refused(m_endpoint, doing, result.answer));
    return result;
}

ImapResult ImapSession::attempt(const ImapCommand &line, const QList<QByteArray> &keep,
                                const QString &doing)
{
    connect();
    return m_exchange.run(line, keep, doing);
}

const QList<QByteArray> &ImapSession::loggedInCapabilities()
{
    connect();
    return m_capabilities;
}

const ImapSession::Selection &ImapSession::select(bool again)
{
    const QByteArray &name = folder();
    connect();
    if (m_selection && !again)
        return *m_selection;
    m_selection.reset();
    const QString doing = QStringLiteral("open the folder %1 of %2")
                              .arg(decodeMailboxName(name), describeAccount(m_endpoint));
    ImapCommand line("SELECT ");
    line.string(name);
    const QList<ImapResponse> said = command(line, {"UIDVALIDITY", "PERMANENTFLAGS"}, doing).all();
    const std::optional<std::uint64_t> validity = codeNumber(said, "UIDVALIDITY");
    if (!validity)
        throw Failure(imapFailure::unreadable(m_endpoint, doing,
                                              QStringLiteral("no UIDVALIDITY for the folder")));
    m_selection = Selection{*validity, permanentFlags(said)};
    return *m_selection;
}

const QByteArray &ImapSession::folder()
{
    if (m_folder.isEmpty())
        findFolder();
    return m_folder;
}

QString ImapSession::howFolderWasChosen()
{
    folder();
    return m_folderChoice;
}

void ImapSession::findFolder()
{
    const QString account = describeAccount(m_endpoint);
    connect();
    // Some servers (Cyrus) tell the special uses only when asked.
    const bool askUses =
        m_capabilities.contains("SPECIAL-USE") && m_capabilities.contains("LIST-EXTENDED");
    const QList<ListedMailbox> folders = listedMailboxes(
        command(QByteArray("LIST \"\" \"*\"") + (askUses ? " RETURN (SPECIAL-USE)" : ""), {"LIST"},
                QStringLiteral("list the folders of %1").arg(account))
            .untagged,
        "LIST");
    std::optional<ImapNamespace> personal;
    const FolderRole role = m_endpoint.role;
    if (folderChoiceNeedsNamespace(role, m_endpoint.folder, folders) &&
        m_capabilities.contains("NAMESPACE")) {
        const ImapResult answer =
            m_exchange.run(QByteArray("NAMESPACE"), {"NAMESPACE"},
                           QStringLiteral("ask %1 where its folders are").arg(account));
        if (answer.ok())
            personal = personalNamespace(answer.untagged);
    }
    const FolderChoice choice = chooseFolder(role, m_endpoint.folder, folders, personal);
    if (choice.kind == FolderChoice::SetMissing)
        throw Failure(QStringLiteral("The folder \"%1\" does not exist in %2. Create it in "
                                     "your mail client, or leave the folder empty in the mail "
                                     "account to use the drafts folder. The server offers: %3.")
                          .arg(m_endpoint.folder, account, offeredFolders(folders)));
    if (choice.kind == FolderChoice::Create)
        createFolder(choice.folder, folders);
    subscribe(choice.folder);
    m_folderChoice = choice.reason();
    m_folder = choice.folder;
}

void ImapSession::createFolder(const QByteArray &folder, const QList<ListedMailbox> &folders)
{
    const QString doing = QStringLiteral("create the folder %1 in %2")
                              .arg(decodeMailboxName(folder), describeAccount(m_endpoint));
    ImapCommand create("CREATE ");
    create.string(folder);
    // Marked, so that mail clients show it as the drafts (or sent) folder; a server that takes
    // the capability but not the mark gets a plain CREATE.
    const bool sent = m_endpoint.role == FolderRole::Sent;
    if (m_capabilities.contains("CREATE-SPECIAL-USE")) {
        ImapCommand marked = create;
        marked << " (USE (" << specialUse(m_endpoint.role) << "))";
        connect();
        if (m_exchange.run(marked, {}, doing).ok())
            return;
    }
    connect();
    const ImapResult result = m_exchange.run(create, {}, doing);
    if (result.ok())
        return;
    const QString choices = offeredFolders(folders);
    if (sent)
        throw Failure(QStringLiteral("%1\n\nThe server marks no folder as the Sent folder. It "
                                     "offers: %2. To send without keeping copies, set "
                                     "SaveSentCopy=no in the [MailClient] section of "
                                     "~/.config/Ferrymail/Ferrymail.conf.")
                          .arg(imapFailure::refused(m_endpoint, doing, result.answer), choices));
    throw Failure(QStringLiteral("%1\n\nThe server marks no folder as the drafts folder. It "
                                 "offers: %2. To use one of them, name it in the [MailClient] "
                                 "section of ~/.config/Ferrymail/Ferrymail.conf, for example: "
                                 "ImapFolder=%3")
                      .arg(imapFailure::refused(m_endpoint, doing, result.answer), choices,
                           choices.section(QStringLiteral(", "), 0, 0)));
}

void ImapSession::subscribe(const QByteArray &folder)
{
    // Subscribing only makes the folder show in mail clients: a refusal stops nothing, a
    // lost connection is made anew by the next command.
    const QString account = describeAccount(m_endpoint);
    try {
        ImapCommand lsub("LSUB \"\" ");
        lsub.string(folder);
        const ImapResult listed = m_exchange.run(
            lsub, {"LSUB"}, QStringLiteral("list the subscribed folders of %1").arg(account));
        if (!listed.ok())
            return;
        const QList<ListedMailbox> subscribed = listedMailboxes(listed.untagged, "LSUB");
        if (std::any_of(subscribed.begin(), subscribed.end(),
                        [&folder](const ListedMailbox &one) { return one.name == folder; }))
            return;
        ImapCommand subscribe("SUBSCRIBE ");
        subscribe.string(folder);
        m_exchange.run(subscribe, {},
                       QStringLiteral("subscribe to the folder %1 in %2")
                           .arg(decodeMailboxName(folder), account));
    } catch (const ImapBroken &) {
    }
}

std::optional<std::uint64_t> ImapSession::appendLimit()
{
    const QByteArray &into = folder();
    if (!m_limitKnown) {
        m_appendLimit = appendLimitIn(m_capabilities);
        // A bare APPENDLIMIT means each folder has its own, told by STATUS.
        if (!m_appendLimit && m_capabilities.contains("APPENDLIMIT")) {
            ImapCommand status("STATUS ");
            status.string(into) << " (APPENDLIMIT)";
            m_appendLimit = statusItem(
                command(
                    status, {"STATUS"},
                    QStringLiteral("ask for the size limit of %1").arg(describeAccount(m_endpoint)))
                    .untagged,
                "APPENDLIMIT");
        }
        m_limitKnown = true;
    }
    return m_appendLimit;
}

void ImapSession::append(std::uint64_t size, const QByteArray &messageId,
                         const QString &description,
                         const std::function<void(const MessageSink &)> &compose)
{
    const QString doing =
        QStringLiteral("file %1 into the folder %2 of %3")
            .arg(description, decodeMailboxName(folder()), describeAccount(m_endpoint));
    for (int attempt = 0;; ++attempt) {
        try {
            appendOnce(size, doing, compose);
            return;
        } catch (const SendCancelled &) {
            throw;
        } catch (const AnswerLost &answer) {
            m_exchange.close();
            if (arrivedAfterAll(messageId, doing))
                return;
            if (attempt == 0)
                continue; // it did not arrive: once more
            // Asked twice, and twice the server held no copy: it is known not to be there.
            throw Failure(QStringLiteral("Cannot %1: twice all of it went and the connection was "
                                         "lost before the server answered (%2). Asked afterwards, "
                                         "the server holds no copy of it: it was not filed. Try "
                                         "again later.")
                              .arg(doing, answer.detail));
        }
    }
}

void ImapSession::appendOnce(std::uint64_t size, const QString &doing,
                             const std::function<void(const MessageSink &)> &compose)
{
    connect();
    const bool withoutWaiting = (m_capabilities.contains("LITERAL+") && size <= maxLiteralPlus) ||
                                (m_capabilities.contains("LITERAL-") && size <= maxLiteralMinus);
    const QByteArray tag = m_exchange.begin();
    ImapConnection &connection = m_exchange.connection();
    // The upload is the person's own size: only silence bounds it, not the deadline.
    connection.setDeadline(std::nullopt);
    // Mailbox names are 7-bit (modified UTF-7): always quoted, never a literal.
    const QByteArray flags =
        m_endpoint.role == FolderRole::Drafts ? " (\\Seen \\Draft) {" : " (\\Seen) {";
    const QByteArray line = tag + " APPEND " + imapQuoted(m_folder) + flags +
                            QByteArray::number(qulonglong(size)) + (withoutWaiting ? "+" : "") +
                            "}\r\n";
    m_exchange.send(line, doing);
    // A refusal before the go-ahead leaves the connection as it was, for the next message.
    if (!withoutWaiting)
        if (const auto refusal = m_exchange.waitForGoAhead(tag, doing))
            throw Failure(imapFailure::refused(m_endpoint, doing, refusal->answer));

    std::uint64_t handed = 0;
    try {
        QByteArray block;
        block.reserve(qsizetype(sendBlock));
        compose([&](const char *data, std::size_t length) {
            // Never more than announced: the extra bytes would be read as a command.
            if (handed + length > size)
                throw Failure(QStringLiteral("Cannot %1: the message came out longer than the "
                                             "%2 bytes announced. Nothing of it was kept.")
                                  .arg(doing)
                                  .arg(size));
            handed += length;
            block.append(data, qsizetype(length));
            if (std::size_t(block.size()) >= sendBlock) {
                m_exchange.send(block, doing);
                block.clear();
            }
        });
        if (handed != size)
            throw Failure(QStringLiteral("Cannot %1: the message came out %2 bytes long where %3 "
                                         "were announced. Nothing of it was kept.")
                              .arg(doing)
                              .arg(handed)
                              .arg(size));
        m_exchange.send(block, doing);
    } catch (const ImapBroken &) {
        // A server that refused early and closed may have said why.
        const auto refusal = m_exchange.earlyRefusal(tag);
        m_exchange.close();
        if (refusal)
            throw Failure(imapFailure::refused(m_endpoint, doing, refusal->answer));
        throw;
    } catch (...) {
        m_exchange.close(); // mid-literal: the server drops what it got
        throw;
    }

    // All of it went; whether the server kept it, only its answer tells.
    ImapResult result;
    try {
        m_exchange.startDeadline();
        m_exchange.send("\r\n", doing);
        result = m_exchange.readTagged(tag, {}, doing);
    } catch (const SendCancelled &) {
        throw PerhapsFiled(QStringLiteral("Stopped while waiting for the server's answer to %1. "
                                          "All of it went: it may already be in %2; look "
                                          "before sending again.")
                               .arg(doing, decodeMailboxName(m_folder)),
                           true);
    } catch (const ImapBroken &broken) {
        // Named once in the failure that follows: only the reason is kept.
        QString detail = QString(broken.description()).remove(imapFailure::keepsNothing);
        const QString prefix = QStringLiteral("Cannot %1: ").arg(doing);
        if (detail.startsWith(prefix))
            detail.remove(0, prefix.size());
        while (detail.endsWith(QLatin1Char('.')))
            detail.chop(1);
        throw AnswerLost{detail};
    }
    if (!result.ok())
        throw Failure(imapFailure::refused(m_endpoint, doing, result.answer));
}

bool ImapSession::arrivedAfterAll(const QByteArray &messageId, const QString &doing)
{
    const auto unknown = [&](const QString &why, bool cancelled) {
        return PerhapsFiled(QStringLiteral("Cannot %1: all of it went and the connection was lost "
                                           "before the server answered; %2 It may already be in "
                                           "%3; look before sending again.")
                                .arg(doing, why, decodeMailboxName(m_folder)),
                            cancelled);
    };
    try {
        ImapCommand examine("EXAMINE ");
        examine.string(m_folder);
        m_selection.reset(); // read-only from here on
        command(examine, {}, doing);
        ImapCommand search("UID SEARCH HEADER Message-ID ");
        search.string(messageId);
        const QList<std::uint64_t> found =
            searchResults(command(search, {"SEARCH"}, doing).untagged);
        command(QByteArray("CLOSE"), {}, doing);
        return !found.isEmpty();
    } catch (const SendCancelled &) {
        throw unknown(QStringLiteral("the Send was stopped while asking the server whether it "
                                     "arrived."),
                      true);
    } catch (const Failure &failure) {
        // What holds for an unfinished message does not hold for this one.
        const QString why = QString(failure.description()).remove(imapFailure::keepsNothing);
        throw unknown(QStringLiteral("asking the server afterwards failed too (%1).").arg(why),
                      false);
    }
}
