#include "mailbridge/oauth/LoopbackListener.h"

#include "common/Failure.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

// A redirect with a code and a state fits many times over; more is not a browser's redirect.
constexpr qsizetype largestRequest = 16 * 1024;
constexpr int browserSilence = 10'000; // ms

} // namespace

QByteArray listenerPage(const QString &sentence)
{
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Ferrymail "
                          "sign-in</title></head>\n<body><p>%1</p><p>You may close this page "
                          "now.</p></body></html>\n")
        .arg(sentence.toHtmlEscaped())
        .toUtf8();
}

LoopbackListener::LoopbackListener(Handler handler, QObject *parent)
    : QObject(parent), m_handler(std::move(handler))
{
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackListener::takeConnection);
}

void LoopbackListener::listen()
{
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        throw Failure(QStringLiteral("Cannot wait for the browser's answer on 127.0.0.1: %1")
                          .arg(m_server.errorString()));
    m_port = m_server.serverPort();
}

QUrl LoopbackListener::redirectUri() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_port));
}

void LoopbackListener::takeConnection()
{
    QTcpSocket *socket = m_server.nextPendingConnection();
    // One request only: from here on the port refuses connections.
    m_server.close();
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
