#include "mailbridge/imap/ImapSession.h"

#include "common/Failure.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/imap/ImapResponses.h"
#include "mailbridge/imap/MailboxName.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <curl/curl.h>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>

namespace {

using Clock = std::chrono::steady_clock;

struct CurlCleanup
{
    void operator()(CURL *curl) const { curl_easy_cleanup(curl); }
};

// A server that takes or gives nothing for this long is gone.
constexpr auto silence = std::chrono::seconds(60);
// Waits are cut into slices this long, so that a cancel is seen within one.
constexpr int sliceMs = 100;
constexpr auto logoutBound = std::chrono::seconds(2);
// What a server may make the client hold of one line or one literal it sends; every
// response the session needs (capabilities, a folder's name, a search) is far smaller.
constexpr qsizetype maxLineBytes = 1 << 20;
constexpr qsizetype maxLiteralBytes = 1 << 20;
constexpr qsizetype maxResponseBytes = 4 << 20;
// A message up to this size goes without waiting for the go-ahead where the server allows;
// a larger one waits, so that a refusal (quota, size, folder) comes before the upload.
constexpr std::uint64_t maxLiteralPlus = 100 * 1024;
constexpr std::uint64_t maxLiteralMinus = 4096;
// The message goes out in blocks this large, not in the small pieces it is composed in.
constexpr std::size_t sendBlock = 256 * 1024;

std::size_t collectLine(char *data, std::size_t size, std::size_t count, void *lines)
{
    QByteArray line(data, qsizetype(size * count));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    static_cast<QList<QByteArray> *>(lines)->push_back(line);
    return size * count;
}

// "{n}" (or "{n+}", "{n-}") ending a line announces n bytes of literal text after it.
std::optional<qsizetype> literalSize(const QByteArray &line, qsizetype &open)
{
    if (!line.endsWith('}'))
        return std::nullopt;
    open = line.lastIndexOf('{');
    if (open < 0)
        return std::nullopt;
    QByteArray digits = line.mid(open + 1, line.size() - open - 2);
    if (digits.endsWith('+') || digits.endsWith('-'))
        digits.chop(1);
    bool ok = false;
    const qsizetype size = digits.toLongLong(&ok);
    return ok && size >= 0 ? std::optional(size) : std::nullopt;
}

// Printable 7-bit text without the quote's own specials goes quoted; anything else, as a
// literal. Line breaks and NUL never get here (the constructor refuses them).
bool quotable(const QByteArray &text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

void refuseUnsendable(const QString &text, const QString &field, const QString &where)
{
    if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) ||
        text.contains(QChar(0)))
        throw Failure(QStringLiteral("The %1 contains a line break or a NUL character, which "
                                     "cannot be sent to the server. Correct %2.")
                          .arg(field, where));
}

int progressCheck(void *session, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *cancelled = static_cast<const std::function<bool()> *>(session);
    return *cancelled && (*cancelled)() ? 1 : 0;
}

QByteArray saslName(const QByteArray &user)
{
    QByteArray name = user;
    return name.replace('=', "=3D").replace(',', "=2C");
}

} // namespace

// The whole message went, and then its answer did not come.
class ImapSession::AnswerLost
{
public:
    QString detail;
};

struct ImapSession::Handle
{
    std::unique_ptr<CURL, CurlCleanup> curl; // connected and logged in when set
    curl_socket_t socket = CURL_SOCKET_BAD;
    char error[CURL_ERROR_SIZE] = {};
    QByteArray url, caFile; // libcurl keeps pointers to the texts it is given
    QByteArray received;    // read from the connection, not yet taken
    unsigned tag = 0;
};

ImapSession::ImapSession(ImapEndpoint endpoint, QString password)
    : ImapSession(std::move(endpoint), ImapCredentials{std::move(password), nullptr})
{
}

ImapSession::ImapSession(ImapEndpoint endpoint, ImapCredentials credentials)
    : m_endpoint(std::move(endpoint)), m_credentials(std::move(credentials)),
      m_handle(std::make_unique<Handle>())
{
    static std::once_flag initialized;
    std::call_once(initialized, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (m_endpoint.security == ImapSecurity::None && !isLoopbackHost(m_endpoint.host))
        throw Failure(QStringLiteral("Refusing to log in to %1 without encryption: only this "
                                     "machine may be reached so. Choose TLS or STARTTLS.")
                          .arg(m_endpoint.host));
    refuseUnsendable(m_endpoint.user, QStringLiteral("user name"),
                     QStringLiteral("ImapUser in the mail account"));
    refuseUnsendable(m_endpoint.folder, QStringLiteral("folder"),
                     QStringLiteral("ImapFolder in the mail account"));
    if (!m_credentials.tokens)
        refuseUnsendable(m_credentials.password, QStringLiteral("password"),
                         QStringLiteral("the password in the keyring, or what the "
                                        "PasswordCommand prints"));
    const QByteArray host = m_endpoint.host.contains(QLatin1Char(':'))
                                ? '[' + m_endpoint.host.toUtf8() + ']'
                                : m_endpoint.host.toUtf8();
    m_handle->url = (m_endpoint.security == ImapSecurity::Tls ? "imaps://" : "imap://") + host +
                    ':' + QByteArray::number(m_endpoint.port) + '/';
    m_handle->caFile = m_endpoint.caFile.toUtf8();
}

ImapSession::~ImapSession()
{
    logout();
}

void ImapSession::setCancelCheck(std::function<bool()> cancelled)
{
    m_cancelled = std::move(cancelled);
}

std::function<bool()> ImapSession::cancelCheck() const
{
    return m_cancelled;
}

void ImapSession::checkCancel()
{
    if (m_cancelled && m_cancelled()) {
        disconnect();
        throw SendCancelled();
    }
}

bool ImapSession::stillConnected()
{
    if (!m_handle->curl)
        return false;
    pollfd waiting = {int(m_handle->socket), POLLIN, 0};
    if (::poll(&waiting, 1, 0) <= 0)
        return true; // nothing came unasked
    // Something did: data (kept for the next command), a goodbye (an idle timeout, a
    // restart) or the end.
    char buffer[4096];
    std::size_t n = 0;
    const CURLcode code = curl_easy_recv(m_handle->curl.get(), buffer, sizeof buffer, &n);
    if (code == CURLE_AGAIN)
        return true;
    if (code == CURLE_OK && n > 0) {
        m_handle->received.append(buffer, qsizetype(n));
        if (!m_handle->received.contains("* BYE") && m_handle->received.size() < maxLineBytes)
            return true;
    }
    disconnect();
    return false;
}

void ImapSession::connect()
{
    if (stillConnected())
        return;
    checkCancel();
    std::unique_ptr<CURL, CurlCleanup> handle(curl_easy_init());
    if (!handle)
        throw Failure(QStringLiteral("Cannot prepare a connection to %1: out of memory.")
                          .arg(m_endpoint.host));
    CURL *curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, m_handle->url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "imap,imaps");
    // Without a user name libcurl stops after the greeting, the capabilities and STARTTLS;
    // the login is ours, so that what goes on the wire is always quoted or a literal.
    curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, m_handle->error);
    curl_easy_setopt(curl, CURLOPT_USE_SSL,
                     m_endpoint.security == ImapSecurity::None ? long(CURLUSESSL_NONE)
                                                               : long(CURLUSESSL_ALL));
    // Verification stays on, as libcurl starts; only the set of trusted authorities changes.
    if (!m_handle->caFile.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, m_handle->caFile.constData());
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &m_lines);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(silence.count()));
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    // libcurl asks this several times a second while it connects and shakes hands.
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progressCheck);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &m_cancelled);

    const QString doing = QStringLiteral("log in to %1").arg(describeAccount(m_endpoint));
    m_lines.clear();
    m_lastWords.clear();
    m_handle->error[0] = '\0';
    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_ABORTED_BY_CALLBACK)
        throw SendCancelled();
    if (code != CURLE_OK)
        fail(code, doing);
    m_greeting.clear();
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

    try {
        if (m_greeting.startsWith("PREAUTH"))
            m_capabilities = capabilitiesIn(command("CAPABILITY", doing));
        else if (m_credentials.tokens)
            logInWithToken(doing);
        else
            logIn(doing);
    } catch (...) {
        disconnect(); // never left open without a login
        throw;
    }
}

void ImapSession::logIn(const QString &doing)
{
    QList<QByteArray> parts{"LOGIN "};
    QList<bool> isLiteral{false};
    astring(m_endpoint.user.toUtf8(), parts, isLiteral);
    parts.back() += ' ';
    astring(m_credentials.password.toUtf8(), parts, isLiteral);
    QList<QByteArray> responses;
    try {
        const QByteArray tag = sendCommand(parts, isLiteral, doing);
        responses = readTagged(tag, doing);
    } catch (const SendCancelled &) {
        throw;
    } catch (const Failure &failure) {
        if (m_lastWords.isEmpty())
            throw;
        disconnect();
        throw Failure(QStringLiteral("Cannot %1: the server refused the user name or password "
                                     "(\"%2\"). Check the user name and the password (in the "
                                     "keyring, or what the PasswordCommand prints).")
                          .arg(doing, QString::fromUtf8(m_lastWords)));
    }
    if (const QList<QByteArray> announced = capabilitiesIn(responses); !announced.isEmpty())
        m_capabilities = announced;
    else
        m_capabilities = capabilitiesIn(command("CAPABILITY", doing));
}

void ImapSession::logInWithToken(const QString &doing)
{
    const bool bearer = m_capabilities.contains("AUTH=OAUTHBEARER");
    if (!bearer && !m_capabilities.contains("AUTH=XOAUTH2")) {
        disconnect();
        throw Failure(QStringLiteral("Cannot %1: the server offers no OAuth 2.0 sign-in "
                                     "(AUTH=OAUTHBEARER or AUTH=XOAUTH2). Sign in with a "
                                     "password instead (ImapAuth=password).")
                          .arg(doing));
    }
    const QByteArray mechanism = bearer ? "OAUTHBEARER" : "XOAUTH2";
    for (int attempt = 0;; ++attempt) {
        const QByteArray token = m_credentials.tokens->accessToken(attempt > 0).toUtf8();
        const QByteArray user = m_endpoint.user.toUtf8();
        const QByteArray initial =
            (bearer ? "n,a=" + saslName(user) + ",\x01host=" + m_endpoint.host.toUtf8() +
                          "\x01port=" + QByteArray::number(m_endpoint.port) +
                          "\x01"
                          "auth=Bearer " +
                          token + "\x01\x01"
                    : "user=" + user +
                          "\x01"
                          "auth=Bearer " +
                          token + "\x01\x01")
                .toBase64();
        const QByteArray tag = nextTag();
        const bool inline_ = m_capabilities.contains("SASL-IR");
        const QByteArray line =
            tag + " AUTHENTICATE " + mechanism + (inline_ ? ' ' + initial : QByteArray()) + "\r\n";
        sendAll(line.constData(), std::size_t(line.size()), doing);
        bool answered = inline_;
        for (;;) {
            const QByteArray response = readResponse(doing);
            const ImapResponse parsed = parseImapResponse(response);
            if (parsed.kind == ImapResponse::Continuation) {
                // The first go-ahead takes the token; a later one carries the server's
                // reasons, answered with the empty (or, for OAUTHBEARER, ^A) response.
                const QByteArray reply =
                    (answered ? (bearer ? QByteArray("AQ==") : QByteArray()) : initial) + "\r\n";
                answered = true;
                sendAll(reply.constData(), std::size_t(reply.size()), doing);
                continue;
            }
            if (parsed.kind != ImapResponse::Tagged || parsed.tag != tag)
                continue;
            if (parsed.status == "OK") {
                if (const auto announced = capabilitiesIn({response}); !announced.isEmpty())
                    m_capabilities = announced;
                else
                    m_capabilities = capabilitiesIn(command("CAPABILITY", doing));
                return;
            }
            if (attempt == 0)
                break; // the token may have expired early: once more with a new one
            disconnect();
            throw Failure(QStringLiteral("Cannot %1: the server refused the sign-in (\"%2\"). "
                                         "Sign in again in the Mail account window.")
                              .arg(doing, QString::fromUtf8(response.mid(tag.size() + 1))));
        }
    }
}

void ImapSession::logout()
{
    if (m_handle->curl) {
        // Best effort and bounded: a server that does not answer in time is cut off.
        const QByteArray line = nextTag() + " LOGOUT\r\n";
        std::size_t sent = 0;
        const auto deadline = Clock::now() + logoutBound;
        CURL *curl = m_handle->curl.get();
        while (sent < std::size_t(line.size()) && Clock::now() < deadline) {
            std::size_t n = 0;
            const CURLcode code =
                curl_easy_send(curl, line.constData() + sent, std::size_t(line.size()) - sent, &n);
            if (code != CURLE_OK && code != CURLE_AGAIN)
                break;
            sent += n;
            if (code == CURLE_AGAIN) {
                pollfd wanted = {int(m_handle->socket), POLLOUT, 0};
                ::poll(&wanted, 1, sliceMs);
            }
        }
        QByteArray answer;
        while (sent == std::size_t(line.size()) && Clock::now() < deadline &&
               !answer.contains(" OK")) {
            char buffer[1024];
            std::size_t n = 0;
            const CURLcode code = curl_easy_recv(curl, buffer, sizeof buffer, &n);
            if (code == CURLE_AGAIN) {
                pollfd wanted = {int(m_handle->socket), POLLIN, 0};
                ::poll(&wanted, 1, sliceMs);
                continue;
            }
            if (code != CURLE_OK || n == 0)
                break;
            answer = answer.right(256) + QByteArray(buffer, qsizetype(n));
        }
    }
    disconnect();
}

void ImapSession::disconnect()
{
    // Cut at once: libcurl's own goodbye would go out inside an unfinished message and then
    // wait for an answer that never comes.
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

QByteArray ImapSession::astring(const QByteArray &text, QList<QByteArray> &parts,
                                QList<bool> &isLiteral)
{
    if (quotable(text)) {
        parts.back() += imapQuoted(text);
    } else {
        parts.push_back(text);
        isLiteral.push_back(true);
        parts.push_back(QByteArray());
        isLiteral.push_back(false);
    }
    return parts.back();
}

QByteArray ImapSession::sendCommand(const QList<QByteArray> &parts, const QList<bool> &isLiteral,
                                    const QString &doing)
{
    const QByteArray tag = nextTag();
    const bool withoutWaiting = m_capabilities.contains("LITERAL+");
    QByteArray pending = tag + ' ';
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (!isLiteral[i]) {
            pending += parts[i];
            continue;
        }
        pending +=
            '{' + QByteArray::number(parts[i].size()) + (withoutWaiting ? "+" : "") + "}\r\n";
        sendAll(pending.constData(), std::size_t(pending.size()), doing);
        pending.clear();
        if (!withoutWaiting)
            waitForGoAhead(tag, doing);
        sendAll(parts[i].constData(), std::size_t(parts[i].size()), doing);
    }
    pending += "\r\n";
    sendAll(pending.constData(), std::size_t(pending.size()), doing);
    return tag;
}

QList<QByteArray> ImapSession::command(const QByteArray &line, const QString &doing)
{
    connect();
    return readTagged(sendCommand({line}, {false}, doing), doing);
}

QList<QByteArray> ImapSession::readTagged(const QByteArray &tag, const QString &doing)
{
    QList<QByteArray> responses;
    for (;;) {
        QByteArray response = readResponse(doing);
        const ImapResponse parsed = parseImapResponse(response);
        responses.push_back(std::move(response));
        if (parsed.kind == ImapResponse::Tagged && parsed.tag == tag) {
            if (parsed.status != "OK")
                refused(responses.back().mid(tag.size() + 1), doing);
            return responses;
        }
    }
}

void ImapSession::waitForGoAhead(const QByteArray &tag, const QString &doing)
{
    // Untagged data may come first at any time (RFC 3501 7); the refusal is tagged.
    for (;;) {
        const QByteArray response = readResponse(doing);
        const ImapResponse parsed = parseImapResponse(response);
        if (parsed.kind == ImapResponse::Continuation)
            return;
        if (parsed.kind == ImapResponse::Tagged && parsed.tag == tag)
            refused(response.mid(tag.size() + 1), doing);
    }
}

QByteArray ImapSession::readResponse(const QString &doing)
{
    QByteArray response;
    for (;;) {
        QByteArray line = readLine(doing);
        qsizetype open = 0;
        const auto size = literalSize(line, open);
        if (!size) {
            response += line;
            break;
        }
        if (*size > maxLiteralBytes) {
            disconnect();
            throw Failure(QStringLiteral("Cannot %1: the server announced %2 bytes in one answer, "
                                         "more than any answer needs. The server does not "
                                         "behave as an IMAP server should.")
                              .arg(doing)
                              .arg(*size));
        }
        response += line.left(open) + quotedForResponse(takeBytes(*size, doing));
        if (response.size() > maxResponseBytes) {
            disconnect();
            throw Failure(QStringLiteral("Cannot %1: the server's answer grew beyond %2 bytes. "
                                         "The server does not behave as an IMAP server should.")
                              .arg(doing)
                              .arg(maxResponseBytes));
        }
    }
    const ImapResponse parsed = parseImapResponse(response);
    if (parsed.status == "BYE" || (parsed.kind == ImapResponse::Tagged && parsed.status != "OK"))
        m_lastWords = parsed.kind == ImapResponse::Tagged ? response.mid(parsed.tag.size() + 1)
                                                          : response.mid(2);
    return response;
}

QByteArray ImapSession::readLine(const QString &doing)
{
    for (qsizetype searched = 0;;) {
        if (const qsizetype end = m_handle->received.indexOf("\r\n", searched); end >= 0) {
            const QByteArray line = m_handle->received.left(end);
            m_handle->received.remove(0, end + 2);
            return line;
        }
        searched = std::max<qsizetype>(0, m_handle->received.size() - 1);
        if (m_handle->received.size() > maxLineBytes) {
            disconnect();
            throw Failure(QStringLiteral("Cannot %1: the server sent a line longer than %2 "
                                         "bytes. The server does not behave as an IMAP server "
                                         "should.")
                              .arg(doing)
                              .arg(maxLineBytes));
        }
        receiveMore(doing);
    }
}

QByteArray ImapSession::takeBytes(qsizetype count, const QString &doing)
{
    while (m_handle->received.size() < count)
        receiveMore(doing);
    QByteArray bytes = m_handle->received.left(count);
    m_handle->received.remove(0, count);
    return bytes;
}

void ImapSession::receiveMore(const QString &doing)
{
    char buffer[16384];
    for (;;) {
        if (!m_handle->curl)
            lost(doing, QStringLiteral("the connection was closed"));
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
    for (std::size_t done = 0; done < size;) {
        if (!m_handle->curl)
            lost(doing, QStringLiteral("the connection was closed"));
        std::size_t n = 0;
        const CURLcode code = curl_easy_send(m_handle->curl.get(), data + done, size - done, &n);
        if (code == CURLE_AGAIN) {
            waitFor(POLLOUT, doing);
            continue;
        }
        if (code != CURLE_OK) {
            // A server that refused early and closed may have said why: read what came.
            char buffer[4096];
            std::size_t got = 0;
            while (curl_easy_recv(m_handle->curl.get(), buffer, sizeof buffer, &got) == CURLE_OK &&
                   got > 0 && m_handle->received.size() < maxLineBytes)
                m_handle->received.append(buffer, qsizetype(got));
            const qsizetype end = m_handle->received.indexOf("\r\n");
            if (end > 0) {
                const QByteArray said = m_handle->received.left(end);
                const ImapResponse parsed = parseImapResponse(said);
                if (parsed.kind == ImapResponse::Tagged && parsed.status != "OK") {
                    disconnect();
                    refused(said.mid(parsed.tag.size() + 1), doing);
                }
                if (parsed.status == "BYE")
                    m_lastWords = said.mid(2);
            }
            lost(doing, QString::fromUtf8(curl_easy_strerror(code)));
        }
        done += n;
    }
}

void ImapSession::waitFor(short events, const QString &doing)
{
    const auto deadline = Clock::now() + silence;
    for (;;) {
        checkCancel();
        pollfd wanted = {int(m_handle->socket), events, 0};
        const int ready = ::poll(&wanted, 1, sliceMs);
        if (ready > 0)
            return;
        if (ready < 0 && errno != EINTR)
            lost(doing, QString::fromLocal8Bit(strerror(errno)));
        if (Clock::now() >= deadline) {
            disconnect();
            throw Failure(QStringLiteral("Cannot %1: %2 port %3 stopped answering for a minute. "
                                         "Try again later.")
                              .arg(doing, m_endpoint.host)
                              .arg(m_endpoint.port));
        }
    }
}

namespace {

const QString keepsNothing = QStringLiteral(" The server keeps nothing of a message it did not "
                                            "receive whole; try again when it is back.");

} // namespace

void ImapSession::lost(const QString &doing, const QString &detail)
{
    disconnect();
    const QString said = m_lastWords.isEmpty() ? QString()
                                               : QStringLiteral(" The server's last words: \"%1\".")
                                                     .arg(QString::fromUtf8(m_lastWords));
    throw Failure(QStringLiteral("Cannot %1: the connection to %2 port %3 was lost (%4).%5%6")
                      .arg(doing, m_endpoint.host)
                      .arg(m_endpoint.port)
                      .arg(detail, said, keepsNothing));
}

void ImapSession::refused(const QByteArray &response, const QString &doing)
{
    const QString account = describeAccount(m_endpoint);
    const QString said = QString::fromUtf8(response);
    const QByteArray code = parseImapResponse("* " + response).codeName();
    QString why;
    if (code == "OVERQUOTA")
        why = QStringLiteral("the mailbox of %1 is full: the server said \"%2\". Delete or move "
                             "mail on the server, or ask for more space.")
                  .arg(account, said);
    else if (code == "LIMIT" || code == "TOOBIG")
        why = QStringLiteral("the server takes no message this large: it said \"%1\". Lower the "
                             "size limit per message.")
                  .arg(said);
    else if (code == "TRYCREATE" || code == "NONEXISTENT")
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

namespace {

bool sameName(const QByteArray &listed, const QByteArray &wanted)
{
    // INBOX is the same name whatever its case (RFC 3501 5.1).
    const auto normal = [](const QByteArray &name) {
        return name.left(5).compare("INBOX", Qt::CaseInsensitive) == 0 &&
                       (name.size() == 5 || !std::isalnum(static_cast<unsigned char>(name[5])))
                   ? "INBOX" + name.mid(5)
                   : name;
    };
    return normal(listed) == normal(wanted);
}

bool hasAttribute(const ListedMailbox &folder, const char *attribute)
{
    return std::any_of(folder.attributes.begin(), folder.attributes.end(),
                       [attribute](const QByteArray &listed) {
                           return listed.compare(attribute, Qt::CaseInsensitive) == 0;
                       });
}

QString offered(const QList<ListedMailbox> &folders)
{
    QStringList names;
    for (const ListedMailbox &folder : folders)
        if (!hasAttribute(folder, "\\Noselect") && !hasAttribute(folder, "\\NonExistent"))
            names << decodeMailboxName(folder.name);
    return names.join(QStringLiteral(", "));
}

} // namespace

void ImapSession::findFolder()
{
    const QString account = describeAccount(m_endpoint);
    connect();
    const QList<ListedMailbox> folders = listedMailboxes(
        command("LIST \"\" \"*\"", QStringLiteral("list the folders of %1").arg(account)), "LIST");
    const auto existing = [&folders](const QByteArray &name) -> const ListedMailbox * {
        for (const ListedMailbox &folder : folders)
            if (sameName(folder.name, name))
                return &folder;
        return nullptr;
    };

    QByteArray folder;
    if (!m_endpoint.folder.isEmpty()) {
        const ListedMailbox *found = existing(encodeMailboxName(m_endpoint.folder));
        if (!found)
            throw Failure(QStringLiteral("The folder \"%1\" does not exist in %2. Create it in "
                                         "your mail client, or leave the folder empty in the mail "
                                         "account to use the drafts folder. The server offers: "
                                         "%3.")
                              .arg(m_endpoint.folder, account, offered(folders)));
        folder = found->name;
        m_folderChoice = QStringLiteral("set in the mail account");
    } else {
        for (const ListedMailbox &listed : folders)
            for (const QByteArray &attribute : listed.attributes)
                if (folder.isEmpty() && attribute.compare("\\Drafts", Qt::CaseInsensitive) == 0)
                    folder = listed.name;
        m_folderChoice = QStringLiteral("marked \\Drafts by the server");
        if (folder.isEmpty()) {
            // Where the account's own folders live: "" on most servers, "INBOX." on others.
            ImapNamespace personal;
            if (m_capabilities.contains("NAMESPACE")) {
                try {
                    if (const auto found = personalNamespace(
                            command("NAMESPACE",
                                    QStringLiteral("ask %1 where its folders are").arg(account))))
                        personal = *found;
                } catch (const SendCancelled &) {
                    throw;
                } catch (const Failure &) {
                    // Without an answer the top level is the guess every server allows most.
                }
            }
            const QByteArray wanted = personal.prefix + "Drafts";
            const auto sameIgnoringCase = [&](const ListedMailbox &listed) {
                return listed.name.compare(wanted, Qt::CaseInsensitive) == 0 ||
                       sameName(listed.name, wanted);
            };
            const auto found = std::find_if(folders.begin(), folders.end(), sameIgnoringCase);
            if (found != folders.end()) {
                folder = found->name;
                m_folderChoice = QStringLiteral("the usual name; the server marks none \\Drafts");
            } else {
                folder = wanted;
                m_folderChoice = QStringLiteral("created; the server marks none \\Drafts");
                try {
                    command("CREATE " + imapQuoted(folder),
                            QStringLiteral("create the folder %1 in %2")
                                .arg(decodeMailboxName(folder), account));
                } catch (const SendCancelled &) {
                    throw;
                } catch (const Failure &failure) {
                    const QString choices = offered(folders);
                    throw Failure(
                        QStringLiteral("%1\n\nThe server marks no folder as the drafts folder. "
                                       "It offers: %2. To use one of them, name it in the "
                                       "[MailClient] section of ~/.config/Ferrymail/"
                                       "Ferrymail.conf, for example: ImapFolder=%3")
                            .arg(failure.description(), choices,
                                 choices.section(QStringLiteral(", "), 0, 0)));
                }
            }
        }
    }

    // Subscribing only makes the folder show in mail clients: its failure stops nothing.
    try {
        const QList<ListedMailbox> subscribed = listedMailboxes(
            command("LSUB \"\" " + imapQuoted(folder),
                    QStringLiteral("list the subscribed folders of %1").arg(account)),
            "LSUB");
        if (std::none_of(subscribed.begin(), subscribed.end(),
                         [&folder](const ListedMailbox &listed) { return listed.name == folder; }))
            command("SUBSCRIBE " + imapQuoted(folder),
                    QStringLiteral("subscribe to the folder %1 in %2")
                        .arg(decodeMailboxName(folder), account));
    } catch (const SendCancelled &) {
        throw;
    } catch (const Failure &) {
        if (!m_handle->curl)
            throw;
    }
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

void ImapSession::appendDraft(std::uint64_t size, const QByteArray &messageId,
                              const QString &description,
                              const std::function<void(const MessageSink &)> &compose)
{
    const QByteArray folder = draftsFolder();
    const QString doing =
        QStringLiteral("file %1 into the folder %2 of %3")
            .arg(description, decodeMailboxName(folder), describeAccount(m_endpoint));
    for (int attempt = 0;; ++attempt) {
        try {
            appendOnce(size, doing, description, compose);
            return;
        } catch (const AnswerLost &answer) {
            disconnect();
            if (arrivedAfterAll(messageId, doing))
                return;
            if (attempt == 0)
                continue; // it did not arrive: once more
            throw PerhapsFiled(
                QStringLiteral("Cannot %1: twice all of it went and the connection was lost "
                               "before the server answered (%2). It may already be in Drafts; "
                               "look before sending again.")
                    .arg(doing, answer.detail));
        }
    }
}

void ImapSession::appendOnce(std::uint64_t size, const QString &doing, const QString &description,
                             const std::function<void(const MessageSink &)> &compose)
{
    connect();
    const bool withoutWaiting = (m_capabilities.contains("LITERAL+") && size <= maxLiteralPlus) ||
                                (m_capabilities.contains("LITERAL-") && size <= maxLiteralMinus);
    const QByteArray tag = nextTag();
    const QByteArray line = tag + " APPEND " + imapQuoted(draftsFolder()) + " (\\Seen \\Draft) {" +
                            QByteArray::number(qulonglong(size)) + (withoutWaiting ? "+" : "") +
                            "}\r\n";
    sendAll(line.constData(), std::size_t(line.size()), doing);
    if (!withoutWaiting)
        waitForGoAhead(tag, doing);

    std::uint64_t handed = 0;
    QByteArray block;
    block.reserve(qsizetype(sendBlock));
    try {
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
                sendAll(block.constData(), std::size_t(block.size()), doing);
                block.clear();
            }
        });
        if (handed != size)
            throw Failure(QStringLiteral("Cannot %1: the message came out %2 bytes long where %3 "
                                         "were announced. Nothing of it was kept.")
                              .arg(doing)
                              .arg(handed)
                              .arg(size));
        sendAll(block.constData(), std::size_t(block.size()), doing);
    } catch (...) {
        disconnect(); // mid-literal: the server drops what it got
        throw;
    }

    try {
        sendAll("\r\n", 2, doing);
        readTagged(tag, doing);
    } catch (const SendCancelled &) {
        // All of it went; whether the server kept it, only its answer would have told.
        throw PerhapsFiled(QStringLiteral("Stopped while waiting for the server's answer to %1. "
                                          "All of it went: it may already be in Drafts; look "
                                          "before sending again.")
                               .arg(description),
                           true);
    } catch (const Failure &failure) {
        if (m_handle->curl)
            throw; // the server answered: a refusal
        throw AnswerLost{failure.description()};
    }
}

bool ImapSession::arrivedAfterAll(const QByteArray &messageId, const QString &doing)
{
    try {
        command("EXAMINE " + imapQuoted(draftsFolder()), doing);
        const QList<std::uint64_t> found =
            searchResults(command("UID SEARCH HEADER Message-ID " + imapQuoted(messageId), doing));
        command("CLOSE", doing);
        return !found.isEmpty();
    } catch (const Failure &failure) {
        // What holds for an unfinished message does not hold for this one.
        const QString why = QString(failure.description()).remove(keepsNothing);
        throw PerhapsFiled(QStringLiteral("Cannot %1: all of it went and the connection was lost "
                                          "before the server answered; asking the server "
                                          "afterwards failed too (%2). It may already be in "
                                          "Drafts; look before sending again.")
                               .arg(doing, why));
    }
}
