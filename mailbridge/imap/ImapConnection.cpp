#include "mailbridge/imap/ImapConnection.h"

#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapFailures.h"
#include "mailbridge/imap/ImapResponses.h"
#include "mailbridge/tls/ServerTrust.h"

#include <cerrno>
#include <cstring>
#include <curl/curl.h>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>

namespace {

// Waits are cut into slices this long, so that a cancel is seen within one.
constexpr int sliceMs = 100;
constexpr std::size_t receiveBlock = 16384;

struct CurlCleanup
{
    void operator()(CURL *curl) const { curl_easy_cleanup(curl); }
};

std::size_t collectLine(char *data, std::size_t size, std::size_t count, void *lines)
{
    QByteArray line(data, qsizetype(size * count));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    auto *collected = static_cast<QList<QByteArray> *>(lines);
    // libcurl reads only the greeting, the capabilities and STARTTLS's answer; a server
    // that says more is not listened to.
    if (collected->size() < 64)
        collected->push_back(line.left(1 << 16));
    return size * count;
}

int progressCheck(void *cancelled, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *check = static_cast<const std::function<bool()> *>(cancelled);
    return *check && (*check)() ? 1 : 0;
}

} // namespace

struct ImapConnection::Handle
{
    std::unique_ptr<CURL, CurlCleanup> curl; // connected when set
    curl_socket_t socket = CURL_SOCKET_BAD;
    char error[CURL_ERROR_SIZE] = {};
    QByteArray url; // libcurl keeps pointers to the texts it is given
    std::unique_ptr<ServerTrust> trust;
};

ImapConnection::ImapConnection(const ImapEndpoint &endpoint, std::chrono::milliseconds silence,
                               std::chrono::milliseconds connecting)
    : m_endpoint(endpoint), m_silence(silence), m_connecting(connecting),
      m_handle(std::make_unique<Handle>())
{
    static std::once_flag initialized;
    std::call_once(initialized, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    const QByteArray host = m_endpoint.host.contains(QLatin1Char(':'))
                                ? '[' + m_endpoint.host.toUtf8() + ']'
                                : m_endpoint.host.toUtf8();
    m_handle->url = (m_endpoint.security == ImapSecurity::Tls ? "imaps://" : "imap://") + host +
                    ':' + QByteArray::number(m_endpoint.port) + '/';
    m_handle->trust = std::make_unique<ServerTrust>(m_endpoint.caFile);
}

ImapConnection::~ImapConnection()
{
    close();
}

bool ImapConnection::isOpen() const
{
    return bool(m_handle->curl);
}

void ImapConnection::close()
{
    if (m_handle->socket != CURL_SOCKET_BAD)
        ::shutdown(m_handle->socket, SHUT_RDWR);
    m_handle->curl.reset();
    m_handle->socket = CURL_SOCKET_BAD;
}

void ImapConnection::checkCancel()
{
    if (m_cancelled && m_cancelled()) {
        close();
        throw SendCancelled();
    }
}

QList<QByteArray> ImapConnection::open(const QString &doing)
{
    close();
    checkCancel();
    std::unique_ptr<CURL, CurlCleanup> handle(curl_easy_init());
    if (!handle)
        throw Failure(QStringLiteral("Cannot prepare a connection to %1: out of memory.")
                          .arg(m_endpoint.host));
    CURL *curl = handle.get();
    QList<QByteArray> lines;
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
    // Verification stays on, as libcurl starts; only the set of trusted authorities grows.
    m_handle->trust->apply(curl);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &lines);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                     long(std::max<long long>(1, m_silence.count() / 1000)));
    // What libcurl reads while connecting has no bound of count: time bounds it.
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(m_connecting.count()));
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    // libcurl asks this several times a second while it connects and shakes hands.
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progressCheck);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &m_cancelled);

    m_handle->error[0] = '\0';
    m_leftover.clear();
    m_lastWords.clear();
    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_ABORTED_BY_CALLBACK)
        throw SendCancelled();
    if (code != CURLE_OK) {
        const QString detail =
            QString::fromUtf8(m_handle->error[0] ? m_handle->error : curl_easy_strerror(code));
        QString text = imapFailure::connecting(m_endpoint, doing, code, detail,
                                               lastRefusal(parsedResponses(lines)));
        if (const QString advice = m_handle->trust->advice();
            code == CURLE_PEER_FAILED_VERIFICATION && !advice.isEmpty())
            text += QLatin1Char(' ') + advice;
        if (code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR || code == CURLE_GOT_NOTHING ||
            code == CURLE_WEIRD_SERVER_REPLY)
            throw ImapBroken(text);
        throw Failure(text);
    }
    curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &m_handle->socket);
    m_handle->curl = std::move(handle);
    return lines;
}

QByteArray ImapConnection::receiveWaiting(bool &ended)
{
    ended = false;
    if (!m_handle->curl) {
        ended = true;
        return QByteArray();
    }
    pollfd waiting = {int(m_handle->socket), POLLIN, 0};
    if (::poll(&waiting, 1, 0) <= 0)
        return QByteArray();
    char buffer[receiveBlock];
    std::size_t n = 0;
    const CURLcode code = curl_easy_recv(m_handle->curl.get(), buffer, sizeof buffer, &n);
    if (code == CURLE_AGAIN)
        return QByteArray();
    if (code != CURLE_OK || n == 0) {
        close();
        ended = true;
        return QByteArray();
    }
    return QByteArray(buffer, qsizetype(n));
}

QByteArray ImapConnection::receive(const QString &doing)
{
    char buffer[receiveBlock];
    for (;;) {
        // Asked before every read: a server that floods never leaves a wait to ask in.
        checkCancel();
        if (!m_handle->curl)
            lost(doing, QStringLiteral("the connection was closed"));
        if (m_deadline && Clock::now() >= *m_deadline) {
            close();
            throw ImapBroken(imapFailure::overDeadline(m_endpoint, doing, m_deadlineBound));
        }
        std::size_t n = 0;
        const CURLcode code = curl_easy_recv(m_handle->curl.get(), buffer, sizeof buffer, &n);
        if (code == CURLE_AGAIN) {
            waitFor(POLLIN, doing);
            continue;
        }
        if (code != CURLE_OK || n == 0)
            lost(doing, code != CURLE_OK ? QString::fromUtf8(curl_easy_strerror(code))
                                         : QStringLiteral("the server closed the connection"));
        return QByteArray(buffer, qsizetype(n));
    }
}

void ImapConnection::send(const char *data, std::size_t size, const QString &doing)
{
    for (std::size_t done = 0; done < size;) {
        checkCancel();
        if (!m_handle->curl)
            lost(doing, QStringLiteral("the connection was closed"));
        std::size_t n = 0;
        const CURLcode code = curl_easy_send(m_handle->curl.get(), data + done, size - done, &n);
        if (code == CURLE_AGAIN) {
            waitFor(POLLOUT, doing);
            continue;
        }
        if (code != CURLE_OK) {
            char buffer[4096];
            std::size_t got = 0;
            while (curl_easy_recv(m_handle->curl.get(), buffer, sizeof buffer, &got) == CURLE_OK &&
                   got > 0 && m_leftover.size() < (1 << 16))
                m_leftover.append(buffer, qsizetype(got));
            lost(doing, QString::fromUtf8(curl_easy_strerror(code)));
        }
        done += n;
    }
}

void ImapConnection::setDeadline(std::optional<Clock::time_point> deadline,
                                 std::chrono::seconds bound)
{
    m_deadline = deadline;
    m_deadlineBound = bound;
}

void ImapConnection::waitFor(short events, const QString &doing)
{
    const auto silentAt = Clock::now() + m_silence;
    for (;;) {
        checkCancel();
        pollfd wanted = {int(m_handle->socket), events, 0};
        const int ready = ::poll(&wanted, 1, sliceMs);
        if (ready > 0)
            return;
        if (ready < 0 && errno != EINTR)
            lost(doing, QString::fromLocal8Bit(strerror(errno)));
        const auto now = Clock::now();
        if (m_deadline && now >= *m_deadline) {
            close();
            throw ImapBroken(imapFailure::overDeadline(m_endpoint, doing, m_deadlineBound));
        }
        if (now >= silentAt) {
            close();
            throw ImapBroken(imapFailure::silent(
                m_endpoint, doing, std::chrono::duration_cast<std::chrono::seconds>(m_silence)));
        }
    }
}

void ImapConnection::lost(const QString &doing, const QString &detail)
{
    close();
    throw ImapBroken(imapFailure::lost(m_endpoint, doing, detail, m_lastWords));
}
