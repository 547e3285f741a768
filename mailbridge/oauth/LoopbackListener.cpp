#include "mailbridge/oauth/LoopbackListener.h"

#include "common/Failure.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

// A redirect with a code and a state fits many times over; more is not a browser's redirect.
constexpr qsizetype largestRequest = 16 * 1024;
constexpr int browserSilence = 10'000; // ms
// Another program may hold ::1 at the port 127.0.0.1 got; then both are given up and tried
// anew, so a browser that tries ::1 first never reaches it.
constexpr int portTries = 8;

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

LoopbackListener::~LoopbackListener() = default;

void LoopbackListener::listen()
{
    closeAll();
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

void LoopbackListener::closeAll()
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
    QTcpSocket *socket = server->nextPendingConnection();
    // One request only: from here on the port refuses connections, on either address.
    closeAll();
    if (!socket || m_answered) {
        delete socket;
        return;
    }
    m_answered = true;
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    auto *silence = new QTimer(socket);
    silence->setSingleShot(true);
    connect(silence, &QTimer::timeout, this, [this, socket] {
        socket->abort();
        emit failed(QStringLiteral("The browser connected but sent no request."));
    });
    silence->start(browserSilence);
    readRequest(socket);
}

void LoopbackListener::readRequest(QTcpSocket *socket)
{
    if (socket->property("answered").toBool())
        return;
    const QByteArray head = socket->peek(largestRequest + 1);
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0) {
        if (head.size() > largestRequest) {
            socket->setProperty("answered", true);
            answer(socket, 431, QStringLiteral("The request was too large."));
            emit failed(QStringLiteral("The browser's answer was too large to be a sign-in."));
        }
        return;
    }
    socket->setProperty("answered", true);
    for (QTimer *timer : socket->findChildren<QTimer *>())
        timer->stop();
    const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
    if (words.size() != 3 || words[0] != "GET" || !words[2].startsWith("HTTP/1.")) {
        answer(socket, 400, QStringLiteral("This is not how a sign-in comes back."));
        emit failed(QStringLiteral("The browser's answer was not a web request."));
        return;
    }
    const QUrl target(QString::fromLatin1(words[1]), QUrl::StrictMode);
    answer(socket, 200, m_handler(QUrlQuery(target.query(QUrl::FullyEncoded))));
}

void LoopbackListener::answer(QTcpSocket *socket, int status, const QString &sentence)
{
    const QByteArray page = listenerPage(sentence);
    const QByteArray reason = status == 200 ? "OK" : "Bad Request";
    socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                  "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                  QByteArray::number(page.size()) +
                  "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + page);
    socket->disconnectFromHost();
}
