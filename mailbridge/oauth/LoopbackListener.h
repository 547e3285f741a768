#pragma once

#include <QObject>
#include <QTcpServer>
#include <QUrl>
#include <QUrlQuery>

#include <functional>
#include <memory>
#include <vector>

class QTcpSocket;

// How the redirect names this machine. Microsoft's app registration takes `http://localhost`
// and matches only that name (any port); others take the address RFC 8252 prefers.
enum class LoopbackName
{
    IpLiteral,
    Localhost
};

// The browser's way back to this program after a sign-in: a web server on 127.0.0.1 with a
// port the system picks, for one request. It stops listening as that request arrives, so a
// second one is refused, and answers with the page the handler words. Named `localhost`, it
// also listens on ::1 at the same port, as a browser may try either.
class LoopbackListener : public QObject
{
    Q_OBJECT

public:
    // Called with the query of the one request; returns the sentence the page shows.
    using Handler = std::function<QString(const QUrlQuery &query)>;

    explicit LoopbackListener(Handler handler, LoopbackName name = LoopbackName::IpLiteral,
                              QObject *parent = nullptr);
    ~LoopbackListener() override;

    // Throws Failure when no port can be had.
    void listen();
    // http://127.0.0.1:PORT/ or http://localhost:PORT/
    QUrl redirectUri() const;
    bool isListening() const;

signals:
    // The request could not be read: not HTTP, too large, or the browser went silent.
    void failed(const QString &reason);

private:
    void takeConnection(QTcpServer *server);
    bool listenOnBoth();
    void closeAll();
    void readRequest(QTcpSocket *socket);
    void answer(QTcpSocket *socket, int status, const QString &sentence);

    Handler m_handler;
    LoopbackName m_name;
    std::vector<std::unique_ptr<QTcpServer>> m_servers;
    quint16 m_port = 0;
    bool m_answered = false;
};

// The page the browser shows, saying it may be closed.
QByteArray listenerPage(const QString &sentence);
