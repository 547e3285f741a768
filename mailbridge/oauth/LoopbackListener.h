#pragma once

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QUrl>
#include <QUrlQuery>

#include <chrono>
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

// What the listener answers one request with.
struct ListenerAnswer
{
    int status = 200;
    QString sentence;   // shown on the page
    QUrl redirect;      // when set, the answer sends the browser there (302) instead
    bool final = false; // the request it waited for: it stops listening after this answer
};

// The browser's way back to this program after a sign-in: a web server on 127.0.0.1 with a
// port the system picks. Any local program can reach the port, so a connection that sends
// nothing, is not a GET or that the handler turns away gets an error page, and the listener
// keeps listening until the handler takes a request as final (then the port refuses
// connections) or it is stopped. Named `localhost`, it also listens on ::1 at the same port,
// as a browser may try either.
class LoopbackListener : public QObject
{
    Q_OBJECT

public:
    // Called with the path and query of each GET request; words the answer.
    using Handler = std::function<ListenerAnswer(const QString &path, const QUrlQuery &query)>;

    explicit LoopbackListener(Handler handler, LoopbackName name = LoopbackName::IpLiteral,
                              QObject *parent = nullptr);
    ~LoopbackListener() override;

    // Throws Failure when no port can be had.
    void listen();
    void stop();
    // http://127.0.0.1:PORT/ or http://localhost:PORT/
    QUrl redirectUri() const;
    bool isListening() const;
    // How long a connection may stay without a whole request before it is answered and closed.
    void setSilence(std::chrono::milliseconds silence) { m_silence = silence; }

private:
    void takeConnection(QTcpServer *server);
    bool listenOnBoth();
    void readRequest(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const ListenerAnswer &answer);

    Handler m_handler;
    LoopbackName m_name;
    std::vector<std::unique_ptr<QTcpServer>> m_servers;
    quint16 m_port = 0;
    std::chrono::milliseconds m_silence{10'000};
    int m_open = 0; // connections not yet answered
};

// The page the browser shows, saying it may be closed.
QByteArray listenerPage(const QString &sentence);
