#pragma once

#include "mailbridge/imap/ImapEndpoint.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

// One connection to a server, as bytes: libcurl connects, checks the certificate and
// upgrades with STARTTLS, then leaves the socket to us. Every wait is cut into slices that
// ask the cancel first, whether or not data is waiting; a server silent for the silence
// limit, or a command past its deadline, is cut off. Failures throw ImapBroken (see
// ImapFailures.h) with the connection already closed, or SendCancelled.
class ImapConnection
{
public:
    using Clock = std::chrono::steady_clock;

    // silence: the longest a server may say nothing; connecting: the longest libcurl may take
    // to connect, shake hands and read the capabilities.
    ImapConnection(const ImapEndpoint &endpoint, std::chrono::milliseconds silence,
                   std::chrono::milliseconds connecting);
    ~ImapConnection();
    ImapConnection(const ImapConnection &) = delete;
    ImapConnection &operator=(const ImapConnection &) = delete;

    const ImapEndpoint &endpoint() const { return m_endpoint; }
    void setCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }
    const std::function<bool()> &cancelCheck() const { return m_cancelled; }

    // Connects; returns the lines libcurl read on the way (greeting, capabilities). Throws
    // Failure worded for doing, or SendCancelled.
    QList<QByteArray> open(const QString &doing);
    bool isOpen() const;
    // Cut at once: a goodbye would go out inside an unfinished message.
    void close();

    // Bytes waiting now, without waiting for them; nothing when none. Closed or failed:
    // closes and returns an empty array with ended set.
    QByteArray receiveWaiting(bool &ended);

    // Waits for at least one byte, and returns what came.
    QByteArray receive(const QString &doing);
    void send(const char *data, std::size_t size, const QString &doing);

    // A command's answer must be whole by then, bound after it started; nullopt: only the
    // silence limit holds.
    void setDeadline(std::optional<Clock::time_point> deadline,
                     std::chrono::seconds bound = std::chrono::seconds(0));

    // Throws SendCancelled, closing first, once the cancel says so.
    void checkCancel();

    // What a server that refused early and closed said before a send failed.
    QByteArray takeLeftover() { return std::exchange(m_leftover, QByteArray()); }
    // A BYE the server sent, named when the connection is then lost.
    void setLastWords(const QByteArray &words) { m_lastWords = words; }
    const QByteArray &lastWords() const { return m_lastWords; }

private:
    struct Handle;
    void waitFor(short events, const QString &doing);
    [[noreturn]] void lost(const QString &doing, const QString &detail);

    const ImapEndpoint &m_endpoint;
    std::chrono::milliseconds m_silence;
    std::chrono::milliseconds m_connecting;
    std::function<bool()> m_cancelled;
    std::unique_ptr<Handle> m_handle;
    std::optional<Clock::time_point> m_deadline;
    std::chrono::seconds m_deadlineBound{0};
    QByteArray m_leftover;
    QByteArray m_lastWords;
};
