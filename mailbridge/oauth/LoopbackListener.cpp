#include "mailbridge/oauth/LoopbackListener.h"

#include "common/Failure.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

// A redirect with a code and a state fits many times over; more is not a browser's redirect.
constexpr qsizetype largestRequest = 16 * 1024;
// A browser opens a few connections at once; a flood of them gets no more than this.
constexpr int mostOpen = 16;
// Another program may hold ::1 at the port 127.0.0.1 got; then both are given up and tried
// anew, so a browser that tries ::1 first never reaches it.
constexpr int portTries = 8;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Bad Request";
    }
}

} // namespace

QByteArray listenerPage(const QString &sentence)
{
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Ferrymail "
                          "sign-in</title></head>\n<body><p>%1</p><p>You may close this page "
                          "now.</p></body></html>\n")
        .arg(sentence.toHtmlEscaped())
        .toUtf8();
}

LoopbackListener::LoopbackListener(Handler handler, LoopbackName name, QObject *parent)
    : QObject(parent), m_handler(std::move(handler)), m_name(name)
{
}

LoopbackListener::~LoopbackListener()
{
    // Each socket counts itself off as it goes: let it while this listener is still whole,
    // not later among QObject's children.
    qDeleteAll(findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly));
}

void LoopbackListener::listen()
{
    stop();
    m_servers.clear();
    auto ipv4 = std::make_unique<QTcpServer>();
    if (m_name == LoopbackName::IpLiteral) {
        if (!ipv4->listen(QHostAddress::LocalHost, 0))
            throw Failure(QStringLiteral("Cannot wait for the browser's answer on 127.0.0.1: %1")
                              .arg(ipv4->errorString()));
        m_port = ipv4->serverPort();
        m_servers.push_back(std::move(ipv4));
    } else if (!listenOnBoth()) {
        throw Failure(QStringLiteral("Cannot wait for the browser's answer on localhost: no "
                                     "port was free on both 127.0.0.1 and ::1."));
    }
    for (const auto &server : m_servers) {
        QTcpServer *raw = server.get();
        connect(raw, &QTcpServer::newConnection, this, [this, raw] { takeConnection(raw); });
    }
}

bool LoopbackListener::listenOnBoth()
{
    for (int attempt = 0; attempt < portTries; ++attempt) {
        auto ipv4 = std::make_unique<QTcpServer>();
        if (!ipv4->listen(QHostAddress::LocalHost, 0))
            throw Failure(QStringLiteral("Cannot wait for the browser's answer on 127.0.0.1: %1")
                              .arg(ipv4->errorString()));
        auto ipv6 = std::make_unique<QTcpServer>();
        if (ipv6->listen(QHostAddress::LocalHostIPv6, ipv4->serverPort())) {
            m_port = ipv4->serverPort();
            m_servers.push_back(std::move(ipv4));
            m_servers.push_back(std::move(ipv6));
            return true;
        }
        // A machine without IPv6 resolves localhost to 127.0.0.1 alone.
        if (ipv6->serverError() != QAbstractSocket::AddressInUseError) {
            m_port = ipv4->serverPort();
            m_servers.push_back(std::move(ipv4));
            return true;
        }
    }
    return false;
}

bool LoopbackListener::isListening() const
{
    for (const auto &server : m_servers)
        if (server->isListening())
            return true;
    return false;
}

void LoopbackListener::stop()
{
    for (const auto &server : m_servers)
        server->close();
}

QUrl LoopbackListener::redirectUri() const
{
    const QString host = m_name == LoopbackName::Localhost ? QStringLiteral("localhost")
                                                           : QStringLiteral("127.0.0.1");
    return QUrl(QStringLiteral("http://%1:%2/").arg(host).arg(m_port));
}

void LoopbackListener::takeConnection(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_open >= mostOpen) {
            socket->setProperty("answered", true);
            answer(socket, {503, QStringLiteral("Too many connections are open."), {}, false});
            continue;
        }
        ++m_open;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // The timer belongs to the listener, not the socket: whatever becomes of the socket,
        // the connection is counted off and a silent one answered.
        auto *silence = new QTimer(this);
        silence->setSingleShot(true);
        QPointer<QTcpSocket> watched(socket);
        connect(silence, &QTimer::timeout, this, [this, silence, watched] {
            silence->deleteLater();
            if (watched && watched->property("answered").toBool())
                return;
            --m_open;
            if (!watched)
                return;
            watched->setProperty("answered", true);
            answer(watched, {408, QStringLiteral("No request arrived."), {}, false});
        });
        connect(socket, &QObject::destroyed, silence, [this, silence] {
            // Gone unanswered: it no longer counts.
            if (silence->isActive()) {
                silence->stop();
                silence->deleteLater();
                --m_open;
            }
        });
        socket->setProperty("silence", QVariant::fromValue<QObject *>(silence));
        silence->start(m_silence);
        readRequest(socket);
    }
}

void LoopbackListener::readRequest(QTcpSocket *socket)
{
    if (socket->property("answered").toBool())
        return;
    const QByteArray head = socket->peek(largestRequest + 1);
    const qsizetype end = head.indexOf("\r\n\r\n");
    const auto answered = [this, socket](const ListenerAnswer &what) {
        socket->setProperty("answered", true);
        if (auto *silence = qobject_cast<QTimer *>(socket->property("silence").value<QObject *>());
            silence && silence->isActive()) {
            silence->stop();
            silence->deleteLater();
            --m_open;
        }
        answer(socket, what);
    };
    if (end < 0) {
        if (head.size() > largestRequest)
            answered({431, QStringLiteral("The request was too large."), {}, false});
        return;
    }
    const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
    if (words.size() != 3 || !words[2].startsWith("HTTP/1.")) {
        answered({400, QStringLiteral("This is not how a sign-in comes back."), {}, false});
        return;
    }
    if (words[0] != "GET") {
        answered({405, QStringLiteral("This is not how a sign-in comes back."), {}, false});
        return;
    }
    const QUrl target(QString::fromLatin1(words[1]), QUrl::StrictMode);
    const ListenerAnswer what =
        m_handler(target.path(), QUrlQuery(target.query(QUrl::FullyEncoded)));
    if (what.final)
        stop();
    answered(what);
}

void LoopbackListener::answer(QTcpSocket *socket, const ListenerAnswer &what)
{
    const int status = what.redirect.isValid() ? 302 : what.status;
    const QByteArray page = listenerPage(what.sentence);
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
                      "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                      QByteArray::number(page.size()) +
                      "\r\nCache-Control: no-store\r\nReferrer-Policy: no-referrer\r\n";
    if (what.redirect.isValid())
        head += "Location: " + what.redirect.toEncoded() + "\r\n";
    socket->write(head + "Connection: close\r\n\r\n" + page);
    socket->disconnectFromHost();
}
