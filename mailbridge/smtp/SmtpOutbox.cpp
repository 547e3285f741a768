#include "mailbridge/smtp/SmtpOutbox.h"

#include "common/CommandText.h"
#include "common/Failure.h"
#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/EncryptedConnection.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/compose/DraftContent.h"
#include "mailbridge/compose/MessageWriter.h"
#include "mailbridge/smtp/SentCopies.h"
#include "mailbridge/smtp/SmtpEnvelope.h"
#include "mailbridge/tls/ServerTrust.h"

#include <curl/curl.h>

#include <QList>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int pollSlice = 100;            // ms: how soon a cancel is seen
constexpr qsizetype keptLines = 64;       // server lines kept for SIZE and for failures
constexpr qsizetype keptLineLength = 512; // of each

struct CurlCleanup
{
    void operator()(CURL *curl) const { curl_easy_cleanup(curl); }
};

struct MultiCleanup
{
    void operator()(CURLM *multi) const { curl_multi_cleanup(multi); }
};

struct SlistCleanup
{
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

// The transfer ended before the composition handed all of the message over.
struct TransferEnded
{
};

bool hasLineBreakOrNul(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) ||
           text.contains(QChar(0));
}

} // namespace

struct SmtpOutbox::Connection
{
    // The connections' sockets, so that a stop can cut them: libcurl would otherwise say QUIT
    // and wait for the answer of a server that may never give one.
    std::set<curl_socket_t> sockets;
    std::unique_ptr<CURLM, MultiCleanup> multi{curl_multi_init()};
    std::unique_ptr<CURL, CurlCleanup> curl{curl_easy_init()};
    char error[CURL_ERROR_SIZE] = {};
    QList<QByteArray> lines;
    // libcurl keeps pointers to the texts it is given.
    QByteArray url, user, secret, sender, loginOptions;
    std::unique_ptr<ServerTrust> trust;
    std::unique_ptr<curl_slist, SlistCleanup> recipients;

    // One transfer's state.
    const char *pending = nullptr;
    std::size_t pendingSize = 0;
    bool endOfMessage = false;  // the composition is complete
    bool endHandedOver = false; // libcurl was told so: the final dot may have gone
    // Bytes handed to libcurl; once they are the whole size it sends the final dot by itself.
    std::uint64_t handed = 0;
    std::uint64_t size = 0;
    bool paused = false;
    bool running = false;
    CURLcode result = CURLE_OK;
    std::function<bool()> cancelled;

    static std::size_t read(char *buffer, std::size_t size, std::size_t count, void *self)
    {
        auto *c = static_cast<Connection *>(self);
        if (c->pendingSize > 0) {
            const std::size_t n = std::min(size * count, c->pendingSize);
            std::memcpy(buffer, c->pending, n);
            c->pending += n;
            c->pendingSize -= n;
            c->handed += n;
            if (c->handed >= c->size)
                c->endHandedOver = true;
            return n;
        }
        if (c->endOfMessage) {
            c->endHandedOver = true;
            return 0;
        }
        c->paused = true;
        return CURL_READFUNC_PAUSE;
    }

    static std::size_t header(char *data, std::size_t size, std::size_t count, void *self)
    {
        auto *c = static_cast<Connection *>(self);
        QByteArray line(data, qsizetype(std::min<std::size_t>(size * count, keptLineLength)));
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        c->lines.push_back(line);
        if (c->lines.size() > keptLines)
            c->lines.removeFirst();
        return size * count;
    }

    static std::size_t discard(char *, std::size_t size, std::size_t count, void *)
    {
        return size * count;
    }

    static curl_socket_t openSocket(void *self, curlsocktype, curl_sockaddr *address)
    {
        const curl_socket_t socket =
            ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
        if (socket != CURL_SOCKET_BAD)
            static_cast<Connection *>(self)->sockets.insert(socket);
        return socket;
    }

    static int closeSocket(void *self, curl_socket_t socket)
    {
        static_cast<Connection *>(self)->sockets.erase(socket);
        return ::close(socket);
    }

    ~Connection() { cut(); }

    void cut()
    {
        for (const curl_socket_t socket : sockets)
            ::shutdown(socket, SHUT_RDWR);
    }

    static int progress(void *self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        auto *c = static_cast<Connection *>(self);
        return c->cancelled && c->cancelled() ? 1 : 0;
    }

    // Drives the transfer until done says so or it ends; false when cancelled (the transfer
    // and its connection are then dropped).
    bool drive(const std::function<bool()> &done)
    {
        while (running) {
            if (done && done())
                return true;
            if (cancelled && cancelled()) {
                stop();
                return false;
            }
            int active = 0;
            curl_multi_perform(multi.get(), &active);
            int queued = 0;
            while (CURLMsg *message = curl_multi_info_read(multi.get(), &queued))
                if (message->msg == CURLMSG_DONE) {
                    result = message->data.result;
                    finish();
                }
            if (!running)
                break;
            if (done && done())
                return true;
            curl_multi_poll(multi.get(), nullptr, 0, pollSlice, nullptr);
        }
        return !(result == CURLE_ABORTED_BY_CALLBACK);
    }

    void start()
    {
        pending = nullptr;
        pendingSize = 0;
        endOfMessage = endHandedOver = paused = false;
        handed = 0;
        result = CURLE_OK;
        error[0] = 0;
        lines.clear();
        curl_multi_add_handle(multi.get(), curl.get());
        running = true;
    }

    void finish()
    {
        if (!running)
            return;
        curl_multi_remove_handle(multi.get(), curl.get());
        running = false;
    }

    // Drops the transfer under way, if any, and the connection, which may be in any state.
    void stop()
    {
        if (running) {
            result = CURLE_ABORTED_BY_CALLBACK;
            finish();
        }
        // A fresh pool, so that a half-used connection can never carry the next message.
        cut();
        multi.reset(curl_multi_init());
    }

    void resume()
    {
        if (paused) {
            paused = false;
            curl_easy_pause(curl.get(), CURLPAUSE_CONT);
        }
    }

    long responseCode() const
    {
        long code = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    QString lastReply() const
    {
        for (auto line = lines.crbegin(); line != lines.crend(); ++line)
            if (!line->isEmpty())
                return readableCommandOutput(*line, std::size_t(line->size()));
        return QString();
    }

    // The options every transfer shares; libcurl keeps them across transfers.
    void setUp(const SmtpEndpoint &endpoint, const QString &password, bool oauth,
               std::chrono::milliseconds silence)
    {
        static std::once_flag initialized;
        std::call_once(initialized, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        if (!multi || !curl)
            throw Failure(QStringLiteral("Cannot prepare a connection to %1: out of memory.")
                              .arg(endpoint.host));
        CURL *c = curl.get();
        const bool tls = endpoint.security == ImapSecurity::Tls;
        QString host = endpoint.host;
        if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
            host = QLatin1Char('[') + host + QLatin1Char(']');
        url = QStringLiteral("%1://%2:%3")
                  .arg(tls ? QStringLiteral("smtps") : QStringLiteral("smtp"), host)
                  .arg(endpoint.port)
                  .toUtf8();
        curl_easy_setopt(c, CURLOPT_URL, url.constData());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
        curl_easy_setopt(c, CURLOPT_USE_SSL,
                         endpoint.security == ImapSecurity::None ? long(CURLUSESSL_NONE)
                                                                 : long(CURLUSESSL_ALL));
        // Verification stays on, as libcurl starts; only the set of trusted authorities grows.
        trust = std::make_unique<ServerTrust>(endpoint.caFile);
        trust->apply(c);
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, header);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, discard);
        curl_easy_setopt(c, CURLOPT_READFUNCTION, read);
        curl_easy_setopt(c, CURLOPT_READDATA, this);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, progress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);
        const long seconds = std::max<long>(1, long((silence.count() + 999) / 1000));
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, std::min(seconds, 30L));
        curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, seconds);
        curl_easy_setopt(c, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, openSocket);
        curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, this);
        curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, closeSocket);
        curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, this);
        user = endpoint.user.toUtf8();
        if (user.isEmpty())
            return;
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        loginOptions = endpoint.loginOptions.toUtf8();
        if (!loginOptions.isEmpty())
            curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS, loginOptions.constData());
        secret = password.toUtf8();
        curl_easy_setopt(c, oauth ? CURLOPT_XOAUTH2_BEARER : CURLOPT_PASSWORD, secret.constData());
    }

    QString why() const
    {
        const QString reply = lastReply();
        const QString detail =
            error[0] ? QString::fromUtf8(error) : QString::fromUtf8(curl_easy_strerror(result));
        const QString why = reply.isEmpty()
                                ? detail
                                : QStringLiteral("%1 (the server said: %2)").arg(detail, reply);
        const QString advice =
            result == CURLE_PEER_FAILED_VERIFICATION && trust ? trust->advice() : QString();
        return advice.isEmpty() ? why : why + QStringLiteral(". ") + advice;
    }
};

SmtpEndpoint smtpEndpoint(const MailAccount &account)
{
    SmtpEndpoint endpoint;
    endpoint.host = account.smtpHost;
    endpoint.port = account.smtpPort;
    endpoint.security = account.smtpSecurity;
    endpoint.user = smtpLoginUser(account);
    endpoint.caFile = trustedAuthoritiesFile(account);
    return endpoint;
}

SmtpOutbox::SmtpOutbox(SmtpEndpoint endpoint, std::optional<QString> password)
    : m_endpoint(std::move(endpoint)), m_password(std::move(password))
{
    requireEncryptedConnection(m_endpoint.host, m_endpoint.security,
                               QStringLiteral("SmtpSecurity"));
}

SmtpOutbox::SmtpOutbox(SmtpEndpoint endpoint, std::shared_ptr<AccessTokenSource> tokens)
    : m_endpoint(std::move(endpoint)), m_tokens(std::move(tokens))
{
    requireEncryptedConnection(m_endpoint.host, m_endpoint.security,
                               QStringLiteral("SmtpSecurity"));
}

SmtpOutbox::~SmtpOutbox() = default;

QString SmtpOutbox::destination() const
{
    QString server = m_endpoint.host;
    const bool usual = m_endpoint.port == defaultSmtpPort(m_endpoint.security);
    if (!usual)
        server += QStringLiteral(":%1").arg(m_endpoint.port);
    return m_endpoint.user.isEmpty()
               ? QStringLiteral("the mail server %1").arg(server)
               : QStringLiteral("the mail server %1 as %2").arg(server, m_endpoint.user);
}

bool SmtpOutbox::needsPassword() const
{
    return (!m_tokens && !m_endpoint.user.isEmpty() && !m_password) ||
           (m_copies && m_copies->needsPassword());
}

// One password serves the account, as the keyring and PasswordCommand keep it.
void SmtpOutbox::setPassword(const QString &password)
{
    m_password = password;
    if (m_copies)
        m_copies->setPassword(password);
}

void SmtpOutbox::setCancelCheck(std::function<bool()> cancelled)
{
    m_cancelCheck = std::move(cancelled);
    if (m_copies)
        m_copies->setCancelCheck(m_cancelCheck);
}

void SmtpOutbox::setSentCopies(std::unique_ptr<SentCopies> copies)
{
    m_copies = std::move(copies);
    if (m_copies)
        m_copies->setCancelCheck(m_cancelCheck);
}

void SmtpOutbox::checkSizes(const std::vector<Draft> &drafts)
{
    Outbox::checkSizes(drafts);
    if (!m_copies)
        return;
    const std::optional<std::uint64_t> limit = m_copies->prepare();
    if (!limit)
        return;
    for (const Draft &message : drafts)
        if (const std::uint64_t size = storedSize(message); size > *limit)
            throw Failure(QStringLiteral("The message \"%1\" would be %2 bytes as mail, more than "
                                         "the %3 bytes %4 takes for its copy. Nothing was sent. "
                                         "Lower the maximum message size, or set SaveSentCopy=no "
                                         "in the [MailClient] section of ~/.config/Ferrymail/"
                                         "Ferrymail.conf to send without copies.")
                              .arg(message.subject)
                              .arg(size)
                              .arg(*limit)
                              .arg(m_copies->destination()));
}

void SmtpOutbox::keepCopy(const MessageContent &content, const Sha256Digest &sent,
                          TransferMonitor &monitor)
{
    // Whatever becomes of the copy, the message went: it must never count as unsent.
    const QString subject = content.subject;
    try {
        m_copies->keep(content, sent, monitor);
    } catch (const SendCancelled &) {
        throw FiledWithFailure(QStringLiteral("\"%1\" was sent through %2. The Send was stopped "
                                              "before its copy was in %3.")
                                   .arg(subject, destination(), m_copies->destination()),
                               true);
    } catch (const PerhapsFiled &perhaps) {
        throw FiledWithFailure(
            QStringLiteral("\"%1\" was sent through %2. Whether its copy is "
                           "in %3 is not known: %4")
                .arg(subject, destination(), m_copies->destination(), perhaps.description()),
            perhaps.cancelled());
    } catch (const Failure &failure) {
        throw FiledWithFailure(
            QStringLiteral("\"%1\" was sent through %2, but its copy could not be put in %3: %4\n"
                           "To send without keeping copies, set SaveSentCopy=no in the "
                           "[MailClient] section of ~/.config/Ferrymail/Ferrymail.conf.")
                .arg(subject, destination(), m_copies->destination(), failure.description()));
    }
}

void SmtpOutbox::setPatience(std::chrono::milliseconds silence)
{
    m_silence = silence;
}

void SmtpOutbox::setRetryPauses(std::vector<std::chrono::milliseconds> pauses)
{
    m_pauses = std::move(pauses);
}

void SmtpOutbox::prepare(bool refreshToken)
{
    if (m_connection && !refreshToken)
        return;
    for (const auto &[text, key] : {std::pair{m_endpoint.user, "SmtpUser"},
                                    std::pair{m_password.value_or(QString()), "the password"}})
        if (hasLineBreakOrNul(text))
            throw Failure(QStringLiteral("%1 for %2 holds a line break or NUL character, which "
                                         "cannot be sent; nothing was sent.")
                              .arg(QLatin1String(key), m_endpoint.host));
    QString secret;
    if (m_tokens) {
        secret = m_tokens->accessToken(refreshToken);
        if (hasLineBreakOrNul(secret))
            throw Failure(QStringLiteral("The sign-in token for %1 holds a line break or NUL "
                                         "character; nothing was sent.")
                              .arg(m_endpoint.user));
    } else if (!m_endpoint.user.isEmpty()) {
        if (!m_password)
            throw Failure(QStringLiteral("No password for %1 at %2: enter it, keep it in the "
                                         "keyring, or set PasswordCommand.")
                              .arg(m_endpoint.user, m_endpoint.host));
        secret = *m_password;
    }
    if (!m_connection)
        m_connection = std::make_unique<Connection>();
    m_connection->setUp(m_endpoint, secret, bool(m_tokens), m_silence);
}

QString SmtpOutbox::loginRefused() const
{
    // Only a refusal says why; a login's challenge ("334" and encoded text) says nothing.
    const QString reply = m_connection->lastReply();
    const bool refusal = reply.startsWith(QLatin1Char('4')) || reply.startsWith(QLatin1Char('5'));
    const QString said = refusal ? QStringLiteral(" (\"%1\")").arg(reply) : QString();
    if (m_tokens)
        return QStringLiteral("Cannot log in to %1: the server refused the sign-in%2. Sign in "
                              "again in the Mail account window.")
            .arg(destination(), said);
    return QStringLiteral("Cannot log in to %1: the server refused the user name or password%2. "
                          "Check the user name and the password (in the keyring, or what the "
                          "PasswordCommand prints).")
        .arg(destination(), said);
}

std::optional<std::uint64_t> SmtpOutbox::messageSizeLimit()
{
    if (m_sizeLimit)
        return *m_sizeLimit;
    prepare(false);
    Connection &c = *m_connection;
    c.cancelled = m_cancelCheck;
    CURL *curl = c.curl.get();
    // A harmless command, only to read the capabilities the server announces on connecting.
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, nullptr);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "NOOP");
    c.start();
    const bool finished = c.drive({});
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
    if (!finished)
        throw SendCancelled();
    if (c.result == CURLE_LOGIN_DENIED)
        throw Failure(loginRefused());
    if (c.result != CURLE_OK)
        throw Failure(QStringLiteral("Cannot reach %1: %2").arg(destination(), c.why()));
    std::optional<std::uint64_t> limit;
    for (const QByteArray &line : c.lines) {
        if (line.size() < 4 || !line.startsWith("250"))
            continue;
        const QList<QByteArray> words = line.mid(4).trimmed().split(' ');
        if (words.value(0).toUpper() != "SIZE" || words.size() < 2)
            continue;
        bool ok = false;
        const qulonglong value = words[1].toULongLong(&ok);
        if (ok && value > 0) // 0: no fixed limit
            limit = value;
    }
    m_sizeLimit = limit;
    return limit;
}

void SmtpOutbox::file(const Draft &draft, TransferMonitor &monitor)
{
    if (monitor.cancelRequested())
        throw SendCancelled();
    const SmtpEnvelope envelope = smtpEnvelope(draft);
    const MessageContent content = draftContent(draft);
    const std::uint64_t size = composedSize(content, LineEnding::CrLf);
    // What went, for its copy to be checked against.
    std::optional<Sha256> sent;
    submit(
        envelope.sender, envelope.recipients, size, draft.subject,
        [&](const Sink &sink) {
            if (m_copies)
                sent.emplace(); // each try streams the message anew
            streamMessage(content, LineEnding::CrLf, monitor, [&](const char *data, std::size_t n) {
                if (sent)
                    sent->add(data, n);
                sink(data, n);
            });
        },
        monitor);
    if (sent)
        keepCopy(content, sent->finish(), monitor);
}

void SmtpOutbox::submit(const QString &sender, const QStringList &recipients, std::uint64_t size,
                        const QString &description, const std::function<void(const Sink &)> &write,
                        TransferMonitor &monitor)
{
    if (monitor.cancelRequested())
        throw SendCancelled();
    for (const QString &address : QStringList{sender} + recipients)
        if (hasLineBreakOrNul(address))
            throw Failure(QStringLiteral("The address \"%1\" of \"%2\" holds a line break or NUL "
                                         "character, which cannot be sent; nothing was sent.")
                              .arg(address, description));
    prepare(false);
    bool tokenRefreshed = false;
    for (std::size_t attempt = 0;; ++attempt) {
        Connection &c = *m_connection;
        c.cancelled = [&monitor] { return monitor.cancelRequested(); };
        CURL *curl = c.curl.get();
        c.sender = ('<' + sender + '>').toUtf8();
        curl_easy_setopt(curl, CURLOPT_MAIL_FROM, c.sender.constData());
        curl_slist *list = nullptr;
        for (const QString &recipient : recipients)
            list = curl_slist_append(list, ('<' + recipient + '>').toUtf8().constData());
        c.recipients.reset(list);
        curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, list);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(size));
        c.start();
        c.size = size;
        bool cancelled = false;
        try {
            write([&c](const char *data, std::size_t n) {
                c.pending = data;
                c.pendingSize = n;
                c.resume();
                if (!c.drive([&c] { return c.pendingSize == 0 || c.paused; }))
                    throw SendCancelled();
                if (c.pendingSize > 0 && !c.running)
                    throw TransferEnded();
            });
            if (c.handed != size) {
                // Fewer bytes than announced: libcurl would wait for the rest forever, and
                // more would have been cut off. Neither may reach the recipient.
                c.stop();
                throw Failure(QStringLiteral("\"%1\" came out %2 bytes long, not the %3 bytes "
                                             "it was measured at; it was not sent.")
                                  .arg(description)
                                  .arg(c.handed)
                                  .arg(size));
            }
            c.endOfMessage = true;
            c.resume();
            cancelled = !c.drive({});
        } catch (const SendCancelled &) {
            c.stop();
            cancelled = true;
        } catch (const TransferEnded &) {
        } catch (...) {
            c.stop(); // a file of the message failed: the server must not take the part
            throw;
        }
        if (cancelled) {
            if (c.endHandedOver)
                throw PerhapsFiled(QStringLiteral("May have been sent: \"%1\" went whole to %2, "
                                                  "and the Send was stopped while it waited for "
                                                  "the answer.")
                                       .arg(description, destination()),
                                   true);
            throw SendCancelled();
        }
        if (c.result == CURLE_OK)
            return;
        const long code = c.responseCode();
        if (c.endHandedOver) {
            // Refused at the final dot: a clear answer that it was not taken.
            if (code >= 400 && code < 600 && c.result == CURLE_WEIRD_SERVER_REPLY)
                throw Failure(QStringLiteral("%1 refused \"%2\": %3")
                                  .arg(destination(), description, c.why()));
            throw PerhapsFiled(QStringLiteral("May have been sent: \"%1\" went whole to %2, "
                                              "whose answer was lost: %3")
                                   .arg(description, destination(), c.why()));
        }
        if (m_tokens && !tokenRefreshed && code == 535) {
            tokenRefreshed = true;
            prepare(true);
            continue;
        }
        if (code >= 400 && code < 500 && attempt < m_pauses.size()) {
            // Nothing of the message was taken: a new try cannot send it twice.
            c.stop();
            const auto until = std::chrono::steady_clock::now() + m_pauses[attempt];
            while (std::chrono::steady_clock::now() < until) {
                if (monitor.cancelRequested())
                    throw SendCancelled();
                std::this_thread::sleep_for(std::chrono::milliseconds(pollSlice));
            }
            continue;
        }
        if (c.result == CURLE_LOGIN_DENIED)
            throw Failure(loginRefused());
        throw Failure(
            QStringLiteral("%1 did not take \"%2\": %3").arg(destination(), description, c.why()));
    }
}
