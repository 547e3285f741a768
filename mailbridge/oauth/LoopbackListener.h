#pragma once

#include <QObject>
#include <QTcpServer>
#include <QUrl>
#include <QUrlQuery>

#include <functional>

class QTcpSocket;

// The browser's way back to this program after a sign-in: a web server on 127.0.0.1 with a
// port the system picks, for one request. It stops listening as that request arrives, so a
// second one is refused, and answers with the page the handler words.
class LoopbackListener : public QObject
{
    Q_OBJECT

public:
    // Called with the query of the one request; returns the sentence the page shows.
    using Handler = std::function<QString(const QUrlQuery &query)>;

    explicit LoopbackListener(Handler handler, QObject *parent = nullptr);

    // Throws Failure when no port can be had.
    void listen();
    // http://127.0.0.1:PORT/
    QUrl redirectUri() const;
    bool isListening() const { return m_server.isListening(); }

signals:
    // The request could not be read: not HTTP, too large, or the browser went silent.
    void failed(const QString &reason);

private:
    void takeConnection();
    void readRequest(QTcpSocket *socket);
    void answer(QTcpSocket *socket, int status, const QString &sentence);

    Handler m_handler;
    QTcpServer m_server;
    quint16 m_port = 0;
    bool m_answered = false;
};

// The page the browser shows, saying it may be closed.
QByteArray listenerPage(const QString &sentence);
