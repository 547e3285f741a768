#include "mailbridge/imap/ImapSession.h"

#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapResponses.h"
#include "mailbridge/imap/MailboxName.h"

#include <algorithm>
#include <cerrno>
#include <curl/curl.h>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct CurlCleanup
{
    void operator()(CURL *curl) const { curl_easy_cleanup(curl); }
};

// A server that takes or gives nothing for this long is gone.
constexpr int silenceMs = 60000;
constexpr std::size_t chunkBytes = 256 * 1024;

std::size_t collectLine(char *data, std::size_t size, std::size_t count, void *lines)
{
    QByteArray line(data, qsizetype(size * count));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    static_cast<QList<QByteArray> *>(lines)->push_back(line);
    return size * count;
}

bool hasCode(const QByteArray &response, const char *code)
{
    return response.toUpper().contains(QByteArray("[") + code);
}

// "{n}" (or "{n+}") ending a line announces n bytes of literal text after it.
std::optional<qsizetype> literalSize(const QByteArray &line)
{
    if (!line.endsWith('}'))
        return std::nullopt;
    const qsizetype open = line.lastIndexOf('{');
    if (open < 0)
        return std::nullopt;
    bool ok = false;
    const qsizetype size =
        line.mid(open + 1, line.size() - open - 2).replace('+', "").toLongLong(&ok);
    return ok ? std::optional(size) : std::nullopt;
}

} // namespace

struct ImapSession::Handle
{
    std::unique_ptr<CURL, CurlCleanup> curl; // connected and logged in when set
    curl_socket_t socket = CURL_SOCKET_BAD;
    char error[CURL_ERROR_SIZE] = {};
    QByteArray base; // "imaps://host:port"
    // libcurl keeps pointers to some option texts it is given: keep them all.
    QByteArray user, password, caFile, url;
    QByteArray received; // read from the connection, not yet taken as lines
    unsigned tag = 0;
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
    const QByteArray host = m_endpoint.host.contains(QLatin1Char(':'))
                                ? '[' + m_endpoint.host.toUtf8() + ']'
                                : m_endpoint.host.toUtf8();
    m_handle->base = (m_endpoint.security == ImapSecurity::Tls ? "imaps://" : "imap://") + host +
                     ':' + QByteArray::number(m_endpoint.port);
    m_handle->url = m_handle->base + '/';
    m_handle->user = m_endpoint.user.toUtf8();
    m_handle->password = m_password.toUtf8();
    m_handle->caFile = m_endpoint.caFile.toUtf8();
}

// libcurl logs out politely when it closes a connection still whole.
ImapSession::~ImapSession() = default;

bool ImapSession::stillConnected()
{
    if (!m_handle->curl)
        return false;
    pollfd waiting = {int(m_handle->socket), POLLIN, 0};
    if (::poll(&waiting, 1, 0) <= 0)
        return true; // nothing came unasked
    // Something did: data, a goodbye (an idle timeout, a restart) or the end.
    char buffer[4096];
    std::size_t n = 0;
    const CURLcode code = curl_easy_recv(m_handle->curl.get(), buffer, sizeof buffer, &n);
    if (code == CURLE_AGAIN)
        return true;
    if (code == CURLE_OK && n > 0) {
        m_handle->received.append(buffer, qsizetype(n));
        if (!m_handle->received.contains("* BYE"))
            return true;
    }
    disconnect();
    return false;
}

void ImapSession::connect()
{
    if (stillConnected())
        return;
    std::unique_ptr<CURL, CurlCleanup> handle(curl_easy_init());
    if (!handle)
        throw Failure(QStringLiteral("Cannot prepare a connection to %1: out of memory.")
                          .arg(m_endpoint.host));
    CURL *curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, m_handle->url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "imap,imaps");
    curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L); // after the login
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
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);

    const QString doing = QStringLiteral("log in to %1").arg(describeAccount(m_endpoint));
    m_lines.clear();
    m_handle->error[0] = '\0';
    const CURLcode code = curl_easy_perform(curl);
    if (code != CURLE_OK)
        fail(code, doing);
    for (const QByteArray &line : std::as_const(m_lines))
        if (line.startsWith("* OK") || line.startsWith("* PREAUTH")) {
            m_greeting = line.mid(2);
            break;
        }
    if (const QList<QByteArray> announced = capabilitiesIn(m_lines); !announced.isEmpty())
        m_capabilities = announced;
    curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &m_handle->socket);
    m_handle->received.clear();
    m_handle->curl = std::move(handle);
}

void ImapSession::disconnect()
{
    // Cut at once: libcurl's goodbye would go out inside an unfinished message and then wait
    // for an answer that never comes.
    if (m_handle->socket != CURL_SOCKET_BAD)
        ::shutdown(m_handle->socket, SHUT_RDWR);
    m_handle->curl.reset();
    m_handle->socket = CURL_SOCKET_BAD;
    m_handle->received.clear();
}

QByteArray ImapSession::nextTag()
{
    return 'F' + QByteArray::number(++m_handle->tag).rightJustified(4, '0');
}

QList<QByteArray> ImapSession::command(const QByteArray &line, const QString &doing)
{
    connect();
    const QByteArray tag = nextTag();
    const QByteArray text = tag + ' ' + line + "\r\n";
    sendAll(text.constData(), std::size_t(text.size()), doing);
    return readResponse(tag, doing);
}

QList<QByteArray> ImapSession::readResponse(const QByteArray &tag, const QString &doing)
{
    QList<QByteArray> lines;
    for (;;) {
        QByteArray line = readLine(doing);
        while (const auto size = literalSize(line)) {
            lines.push_back(line);
            while (m_handle->received.size() < *size)
                receiveMore(doing);
            line = m_handle->received.left(*size);
            m_handle->received.remove(0, *size);
            line += readLine(doing);
        }
        lines.push_back(line);
        if (line.startsWith(tag + ' ')) {
            const QByteArray status = line.mid(tag.size() + 1, 3).toUpper();
            if (!status.startsWith("OK"))
                refused(line.mid(tag.size() + 1), doing);
            return lines;
        }
    }
}

QByteArray ImapSession::readLine(const QString &doing)
{
    for (;;) {
        if (const qsizetype end = m_handle->received.indexOf("\r\n"); end >= 0) {
            const QByteArray line = m_handle->received.left(end);
            m_handle->received.remove(0, end + 2);
            return line;
        }
        receiveMore(doing);
    }
}

void ImapSession::receiveMore(const QString &doing)
{
    char buffer[16384];
    for (;;) {
        std::size_t n = 0;
        const CURLcode code = curl_easy_recv(m_handle->curl.get(), buffer, sizeof buffer, &n);
        if (code == CURLE_AGAIN) {
            waitFor(POLLIN, doing);
            continue;
        }
        if (code != CURLE_OK || n == 0)
            lost(doing, code != CURLE_OK ? QString::fromUtf8(curl_easy_strerror(code))
                                         : QStringLiteral("the server closed the connection"));
        m_handle->received.append(buffer, qsizetype(n));
        return;
    }
}

void ImapSession::sendAll(const char *data, std::size_t size, const QString &doing)
{
    CURL *curl = m_handle->curl.get();
    for (std::size_t done = 0; done < size;) {
        std::size_t n = 0;
        const CURLcode code = curl_easy_send(curl, data + done, size - done, &n);
        if (code == CURLE_AGAIN) {
            waitFor(POLLOUT, doing);
            continue;
        }
        if (code != CURLE_OK)
            lost(doing, QString::fromUtf8(curl_easy_strerror(code)));
        done += n;
    }
}

void ImapSession::waitFor(short events, const QString &doing)
{
    pollfd wanted = {int(m_handle->socket), events, 0};
    int ready;
    do
        ready = ::poll(&wanted, 1, silenceMs);
    while (ready < 0 && errno == EINTR);
    if (ready == 0) {
        disconnect();
        throw Failure(QStringLiteral("Cannot %1: %2 port %3 stopped answering for a minute. Try "
                                     "again later.")
                          .arg(doing, m_endpoint.host)
                          .arg(m_endpoint.port));
    }
}

void ImapSession::lost(const QString &doing, const QString &detail)
{
    disconnect();
    throw Failure(QStringLiteral("Cannot %1: the connection to %2 port %3 was lost (%4). The "
                                 "server keeps nothing of a message it did not receive whole; "
                                 "try again when it is back.")
                      .arg(doing, m_endpoint.host)
                      .arg(m_endpoint.port)
                      .arg(detail));
}

void ImapSession::refused(const QByteArray &response, const QString &doing)
{
    const QString account = describeAccount(m_endpoint);
    const QString said = QString::fromUtf8(response);
    QString why;
    if (hasCode(response, "OVERQUOTA"))
        why = QStringLiteral("the mailbox of %1 is full: the server said \"%2\". Delete or move "
                             "mail on the server, or ask for more space.")
                  .arg(account, said);
    else if (hasCode(response, "LIMIT"))
        why = QStringLiteral("the server takes no message this large: it said \"%1\". Lower the "
                             "size limit per message.")
                  .arg(said);
    else if (hasCode(response, "TRYCREATE") || hasCode(response, "NONEXISTENT"))
        why = QStringLiteral("the folder does not exist in %1: the server said \"%2\". Create "
                             "it in your mail client, or change the folder in the mail account.")
                  .arg(account, said);
    else
        why = QStringLiteral("the server said \"%1\".").arg(said);
    throw Failure(QStringLiteral("Cannot %1: %2").arg(doing, why));
}

void ImapSession::fail(int curlCode, const QString &doing)
{
    const auto code = CURLcode(curlCode);
    const QString account = describeAccount(m_endpoint);
    const QString where = QStringLiteral("%1 port %2").arg(m_endpoint.host).arg(m_endpoint.port);
    const QString detail =
        QString::fromUtf8(m_handle->error[0] ? m_handle->error : curl_easy_strerror(code));
    const QString said = QString::fromUtf8(lastRefusal(m_lines));
    QString why;
    switch (code) {
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
    case CURLE_WEIRD_SERVER_REPLY:
        lost(doing, detail);
    default:
        why = said.isEmpty() ? detail + QLatin1Char('.')
                             : QStringLiteral("the server said \"%1\" (%2).").arg(said, detail);
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
    const QList<QByteArray> announced =
        capabilitiesIn(command("CAPABILITY", QStringLiteral("log in to %1").arg(account)));
    if (!announced.isEmpty())
        m_capabilities = announced;
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

void ImapSession::appendDraft(int fd, std::uint64_t size, const QString &description,
                              const std::function<bool(std::uint64_t)> &sent)
{
    const QByteArray folder = draftsFolder();
    const QString doing =
        QStringLiteral("file %1 into the folder %2 of %3")
            .arg(description, decodeMailboxName(folder), describeAccount(m_endpoint));
    if (::lseek(fd, 0, SEEK_SET) < 0)
        throw Failure(describeSystemError(
            QStringLiteral("Cannot read %1 back from its temporary file").arg(description), errno));

    connect();
    // With LITERAL+ the message follows at once; otherwise the server first says go ahead,
    // or refuses (a size over its limit, a folder gone) before anything is sent.
    const bool withoutWaiting = m_capabilities.contains("LITERAL+");
    const QByteArray tag = nextTag();
    const QByteArray line = tag + " APPEND " + imapQuoted(folder) + " (\\Seen \\Draft) {" +
                            QByteArray::number(qulonglong(size)) + (withoutWaiting ? "+" : "") +
                            "}\r\n";
    sendAll(line.constData(), std::size_t(line.size()), doing);
    if (!withoutWaiting) {
        const QByteArray answer = readLine(doing);
        if (!answer.startsWith('+')) {
            if (answer.startsWith(tag + ' '))
                refused(answer.mid(tag.size() + 1), doing);
            lost(doing, QStringLiteral("an unexpected answer: ") + QString::fromUtf8(answer));
        }
    }

    std::vector<char> chunk(chunkBytes);
    for (std::uint64_t done = 0; done < size;) {
        ssize_t n;
        do
            n = ::read(fd, chunk.data(),
                       std::size_t(std::min<std::uint64_t>(size - done, chunkBytes)));
        while (n < 0 && errno == EINTR);
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            disconnect(); // the server must not keep a message cut short
            throw Failure(describeSystemError(
                QStringLiteral("Cannot read %1 back from its temporary file").arg(description),
                error));
        }
        sendAll(chunk.data(), std::size_t(n), doing);
        done += std::uint64_t(n);
        if (!sent(done)) {
            disconnect(); // mid-literal: the server drops what it got
            throw SendCancelled();
        }
    }
    sendAll("\r\n", 2, doing);
    readResponse(tag, doing);
}
