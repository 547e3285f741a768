#include "mailbridge/imap/ImapSession.h"

#include "common/Failure.h"
#include "mailbridge/MailItem.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapResponses.h"
#include "mailbridge/imap/MailboxName.h"

#include <QUrl>

#include <cerrno>
#include <curl/curl.h>
#include <mutex>
#include <unistd.h>

namespace {

struct CurlCleanup
{
    void operator()(CURL *curl) const { curl_easy_cleanup(curl); }
};

struct Upload
{
    int fd = -1;
    const std::function<bool(std::uint64_t)> *sent = nullptr;
    bool cancelled = false;
    int readError = 0;
};

std::size_t collectLine(char *data, std::size_t size, std::size_t count, void *lines)
{
    QByteArray line(data, qsizetype(size * count));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    static_cast<QList<QByteArray> *>(lines)->push_back(line);
    return size * count;
}

std::size_t ignoreBody(char *, std::size_t size, std::size_t count, void *)
{
    return size * count;
}

std::size_t readMessage(char *buffer, std::size_t size, std::size_t count, void *upload)
{
    auto *state = static_cast<Upload *>(upload);
    ssize_t n;
    do
        n = ::read(state->fd, buffer, size * count);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        state->readError = errno;
        return CURL_READFUNC_ABORT;
    }
    return std::size_t(n);
}

int reportProgress(void *upload, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent)
{
    auto *state = static_cast<Upload *>(upload);
    if (!(*state->sent)(std::uint64_t(sent))) {
        state->cancelled = true;
        return 1; // aborts the transfer and drops the connection
    }
    return 0;
}

bool hasCode(const QByteArray &response, const char *code)
{
    return response.toUpper().contains(QByteArray("[") + code);
}

} // namespace

struct ImapSession::Handle
{
    std::unique_ptr<CURL, CurlCleanup> curl;
    char error[CURL_ERROR_SIZE] = {};
    QByteArray base; // "imaps://host:port"
    // curl keeps pointers to the option texts it is given only for some options: keep all.
    QByteArray user, password, caFile, request, url;
};

ImapSession::ImapSession(ImapEndpoint endpoint, QString password)
    : m_endpoint(std::move(endpoint)), m_password(std::move(password)),
      m_handle(std::make_unique<Handle>())
{
    static std::once_flag initialized;
    std::call_once(initialized, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (m_endpoint.security == ImapSecurity::None && !isLoopbackHost(m_endpoint.host))
        throw Failure(QStringLiteral("Refusing to log in to %1 without encryption: only this "
                                     "machine may be reached so. Choose TLS or STARTTLS.")
                          .arg(m_endpoint.host));

    m_handle->curl.reset(curl_easy_init());
    if (!m_handle->curl)
        throw Failure(QStringLiteral("Cannot prepare a connection to %1: out of memory.")
                          .arg(m_endpoint.host));
    CURL *curl = m_handle->curl.get();
    const QByteArray host = m_endpoint.host.contains(QLatin1Char(':'))
                                ? '[' + m_endpoint.host.toUtf8() + ']'
                                : m_endpoint.host.toUtf8();
    m_handle->base = (m_endpoint.security == ImapSecurity::Tls ? "imaps://" : "imap://") + host +
                     ':' + QByteArray::number(m_endpoint.port);
    m_handle->user = m_endpoint.user.toUtf8();
    m_handle->password = m_password.toUtf8();
    m_handle->caFile = m_endpoint.caFile.toUtf8();

    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "imap,imaps");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, m_handle->error);
    curl_easy_setopt(curl, CURLOPT_USERNAME, m_handle->user.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, m_handle->password.constData());
    curl_easy_setopt(curl, CURLOPT_USE_SSL,
                     m_endpoint.security == ImapSecurity::None ? long(CURLUSESSL_NONE)
                                                               : long(CURLUSESSL_ALL));
    // Verification stays on, as libcurl starts; only the set of trusted authorities changes.
    if (!m_handle->caFile.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, m_handle->caFile.constData());
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &m_lines);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, ignoreBody);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    // A server that takes nothing for a minute is gone.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readMessage);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, reportProgress);
}

ImapSession::~ImapSession() = default;

QByteArray ImapSession::mailboxUrl(const QByteArray &mailbox) const
{
    // libcurl decodes the path and quotes the name for the command itself.
    return m_handle->base + '/' + QUrl::toPercentEncoding(QString::fromLatin1(mailbox));
}

QList<QByteArray> ImapSession::perform(const QString &doing)
{
    CURL *curl = m_handle->curl.get();
    m_lines.clear();
    m_handle->error[0] = '\0';
    const CURLcode code = curl_easy_perform(curl);
    long connects = 0;
    curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &connects);
    if (connects > 0) {
        for (const QByteArray &line : std::as_const(m_lines))
            if (line.startsWith("* OK") || line.startsWith("* PREAUTH")) {
                m_greeting = line.mid(2);
                break;
            }
    }
    if (const QList<QByteArray> announced = capabilitiesIn(m_lines); !announced.isEmpty())
        m_capabilities = announced;
    if (code != CURLE_OK)
        fail(code, doing);
    return m_lines;
}

QList<QByteArray> ImapSession::command(const QByteArray &line, const QString &doing,
                                       const QByteArray &mailbox)
{
    CURL *curl = m_handle->curl.get();
    m_handle->url = mailbox.isEmpty() ? m_handle->base + '/' : mailboxUrl(mailbox);
    m_handle->request = line;
    curl_easy_setopt(curl, CURLOPT_URL, m_handle->url.constData());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, m_handle->request.constData());
    return perform(doing);
}

void ImapSession::fail(int curlCode, const QString &doing)
{
    const auto code = CURLcode(curlCode);
    const QString account = describeAccount(m_endpoint);
    const QString where = QStringLiteral("%1 port %2").arg(m_endpoint.host).arg(m_endpoint.port);
    const QString detail =
        QString::fromUtf8(m_handle->error[0] ? m_handle->error : curl_easy_strerror(code));
    const QByteArray server = lastRefusal(m_lines);
    const QString said = QString::fromUtf8(server);
    QString why;
    switch (code) {
    case CURLE_ABORTED_BY_CALLBACK:
        throw SendCancelled();
    case CURLE_COULDNT_RESOLVE_HOST:
        why = QStringLiteral("the server name %1 is unknown (%2). Check the server in the mail "
                             "account, and that this computer is online.")
                  .arg(m_endpoint.host, detail);
        break;
    case CURLE_COULDNT_CONNECT:
        why = QStringLiteral("nothing answers at %1 (%2). Check the server and port in the mail "
                             "account, and that this computer is online.")
                  .arg(where, detail);
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
        why = QStringLiteral("the certificate of %1 does not prove it is that server (%2). Nothing "
                             "is sent to a server that cannot be identified: check the server "
                             "name; if it is right, the connection may be intercepted, or the "
                             "server's certificate authority must be added to the system's.")
                  .arg(m_endpoint.host, detail);
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
        why = QStringLiteral("no secure connection could be made with %1 (%2). Check that the "
                             "security matches the port (TLS is usually 993, STARTTLS 143).")
                  .arg(where, detail);
        break;
    case CURLE_USE_SSL_FAILED:
        why = QStringLiteral("%1 does not offer STARTTLS, and the password is not sent without "
                             "encryption. Choose TLS (usually port 993).")
                  .arg(where);
        break;
    case CURLE_LOGIN_DENIED:
        if (QByteArray(m_handle->error).contains("Select"))
            why = QStringLiteral("the folder cannot be opened: the server said \"%1\". Check the "
                                 "folder in the mail account.")
                      .arg(said);
        else
            why = QStringLiteral("the server refused the user name or password (\"%1\"). Check "
                                 "the user name and the password (in the keyring, or what the "
                                 "PasswordCommand prints).")
                      .arg(said.isEmpty() ? detail : said);
        break;
    case CURLE_OPERATION_TIMEDOUT:
        why = QStringLiteral("%1 stopped answering (%2). Try again later.").arg(where, detail);
        break;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_WEIRD_SERVER_REPLY:
        why = QStringLiteral("the connection to %1 was lost (%2). The server keeps nothing of a "
                             "message it did not receive whole; try again when it is back.")
                  .arg(where, detail);
        break;
    case CURLE_READ_ERROR:
        why = QStringLiteral("the message could not be read back from its temporary file (%1).")
                  .arg(detail);
        break;
    default:
        if (hasCode(server, "OVERQUOTA"))
            why = QStringLiteral("the mailbox of %1 is full: the server said \"%2\". Delete or "
                                 "move mail on the server, or ask for more space.")
                      .arg(account, said);
        else if (hasCode(server, "LIMIT"))
            why = QStringLiteral("the server takes no message this large: it said \"%1\". Lower "
                                 "the size limit per message.")
                      .arg(said);
        else if (hasCode(server, "TRYCREATE") || hasCode(server, "NONEXISTENT"))
            why = QStringLiteral("the folder does not exist in %1: the server said \"%2\". "
                                 "Create it in your mail client, or change the folder in the "
                                 "mail account.")
                      .arg(account, said);
        else if (!said.isEmpty())
            why = QStringLiteral("the server said \"%1\" (%2).").arg(said, detail);
        else
            why = detail + QLatin1Char('.');
    }
    throw Failure(QStringLiteral("Cannot %1: %2").arg(doing, why));
}

const QByteArray &ImapSession::draftsFolder()
{
    if (m_folder.isEmpty())
        findFolder();
    return m_folder;
}

QString ImapSession::howFolderWasChosen()
{
    draftsFolder();
    return m_folderChoice;
}

void ImapSession::findFolder()
{
    const QString account = describeAccount(m_endpoint);
    // Asked after the login: what a server announces before it may differ.
    command("CAPABILITY", QStringLiteral("log in to %1").arg(account));
    const QList<ListedMailbox> folders = listedMailboxes(
        command("LIST \"\" \"*\"", QStringLiteral("list the folders of %1").arg(account)), "LIST");
    const auto exists = [&folders](const QByteArray &name) {
        return std::any_of(folders.begin(), folders.end(),
                           [&name](const ListedMailbox &folder) { return folder.name == name; });
    };

    QByteArray folder;
    if (!m_endpoint.folder.isEmpty()) {
        folder = encodeMailboxName(m_endpoint.folder);
        if (!exists(folder))
            throw Failure(QStringLiteral("The folder \"%1\" does not exist in %2. Create it in "
                                         "your mail client, or leave the folder empty in the mail "
                                         "account to use the drafts folder.")
                              .arg(m_endpoint.folder, account));
        m_folderChoice = QStringLiteral("set in the mail account");
    } else {
        for (const ListedMailbox &listed : folders)
            for (const QByteArray &attribute : listed.attributes)
                if (folder.isEmpty() && attribute.compare("\\Drafts", Qt::CaseInsensitive) == 0)
                    folder = listed.name;
        m_folderChoice = QStringLiteral("marked \\Drafts by the server");
        if (folder.isEmpty()) {
            folder = "Drafts";
            m_folderChoice = QStringLiteral("the usual name; the server marks none \\Drafts");
            if (!exists(folder))
                command("CREATE " + imapQuoted(folder),
                        QStringLiteral("create the folder Drafts in %1").arg(account));
        }
    }

    const QList<ListedMailbox> subscribed =
        listedMailboxes(command("LSUB \"\" " + imapQuoted(folder),
                                QStringLiteral("list the subscribed folders of %1").arg(account)),
                        "LSUB");
    if (std::none_of(subscribed.begin(), subscribed.end(),
                     [&folder](const ListedMailbox &listed) { return listed.name == folder; }))
        command("SUBSCRIBE " + imapQuoted(folder),
                QStringLiteral("subscribe to the folder %1 in %2")
                    .arg(decodeMailboxName(folder), account));
    m_folder = folder;
}

std::optional<std::uint64_t> ImapSession::appendLimit()
{
    const QByteArray &folder = draftsFolder();
    if (!m_limitKnown) {
        m_appendLimit = appendLimitIn(m_capabilities);
        // A bare APPENDLIMIT means each folder has its own, told by STATUS.
        if (!m_appendLimit && m_capabilities.contains("APPENDLIMIT"))
            m_appendLimit = statusItem(command("STATUS " + imapQuoted(folder) + " (APPENDLIMIT)",
                                               QStringLiteral("ask for the size limit of %1")
                                                   .arg(describeAccount(m_endpoint))),
                                       "APPENDLIMIT");
        m_limitKnown = true;
    }
    return m_appendLimit;
}

void ImapSession::appendDraft(int fd, std::uint64_t size, const QByteArray &messageId,
                              const QString &description,
                              const std::function<bool(std::uint64_t)> &sent)
{
    const QByteArray folder = draftsFolder();
    const QString doing =
        QStringLiteral("file %1 into the folder %2 of %3")
            .arg(description, decodeMailboxName(folder), describeAccount(m_endpoint));
    if (::lseek(fd, 0, SEEK_SET) < 0)
        throw Failure(describeSystemError(
            QStringLiteral("Cannot read %1 back from its temporary file").arg(description), errno));

    CURL *curl = m_handle->curl.get();
    Upload upload;
    upload.fd = fd;
    upload.sent = &sent;
    m_handle->url = mailboxUrl(folder);
    curl_easy_setopt(curl, CURLOPT_URL, m_handle->url.constData());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(size));
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &upload);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    try {
        perform(doing);
    } catch (const Failure &) {
        if (upload.cancelled)
            throw SendCancelled();
        if (upload.readError)
            throw Failure(describeSystemError(
                QStringLiteral("Cannot read %1 back from its temporary file").arg(description),
                upload.readError));
        throw;
    }

    // libcurl's APPEND sets \Seen alone; \Draft follows on the message's UID.
    const QString flagging = QStringLiteral("%1 was filed into %2, but marking it as a draft "
                                            "failed: ")
                                 .arg(description, decodeMailboxName(folder));
    std::optional<std::uint64_t> uid = appendedUid(lastTaggedResponse(m_lines));
    try {
        if (!uid)
            uid = uidOfAppended(messageId);
        if (!uid)
            throw Failure(QStringLiteral("the server does not say which message it is."));
        command("UID STORE " + QByteArray::number(qulonglong(*uid)) + " +FLAGS.SILENT (\\Draft)",
                QStringLiteral("mark %1 as a draft").arg(description), folder);
    } catch (const FiledWithFailure &) {
        throw;
    } catch (const Failure &failure) {
        throw FiledWithFailure(flagging + failure.description());
    }
}

std::optional<std::uint64_t> ImapSession::uidOfAppended(const QByteArray &messageId)
{
    if (messageId.isEmpty())
        return std::nullopt;
    const QList<std::uint64_t> found =
        searchResults(command("UID SEARCH HEADER Message-ID " + imapQuoted(messageId),
                              QStringLiteral("find the filed message"), draftsFolder()));
    if (found.isEmpty())
        return std::nullopt;
    return *std::max_element(found.begin(), found.end());
}
