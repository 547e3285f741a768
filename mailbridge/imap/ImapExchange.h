#pragma once

#include "mailbridge/imap/ImapConnection.h"
#include "mailbridge/imap/ImapReader.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <cstddef>
#include <optional>

// How much one command may make the client read and wait; past any of them the command
// ends with ImapBroken and the connection is dropped.
struct ImapLimits
{
    ImapReadLimits read;
    int untaggedPerCommand = 100000;
    std::size_t bytesPerCommand = std::size_t(64) << 20;
    std::chrono::milliseconds deadline = std::chrono::minutes(5);
    std::chrono::milliseconds silence = std::chrono::seconds(60);
    int saslRounds = 4;
};

// A command's parts: text as is, and strings sent as literals.
struct ImapCommand
{
    QList<QByteArray> parts;
    QList<bool> literal;

    ImapCommand() = default;
    ImapCommand(const QByteArray &text) : parts{text}, literal{false} {}
    // Appends text to the command as it is.
    ImapCommand &operator<<(const QByteArray &text);
    // Appends a string: quoted when it can be, else a literal.
    ImapCommand &string(const QByteArray &text);
};

// What a command ended with: its tagged answer ({status, code, text}) and the untagged
// responses it asked to keep; every other untagged response was only counted.
struct ImapResult
{
    ImapResponse answer;
    QList<ImapResponse> untagged;

    bool ok() const { return answer.status == "OK"; }
    // The untagged responses and the answer, for what reads codes and data alike.
    QList<ImapResponse> all() const { return untagged + QList<ImapResponse>{answer}; }
};

// Commands on one connection: tags, literals, and the responses read back within the limits.
class ImapExchange
{
public:
    ImapExchange(const ImapEndpoint &endpoint, ImapLimits limits);

    ImapConnection &connection() { return m_connection; }
    const ImapConnection &connection() const { return m_connection; }
    const ImapLimits &limits() const { return m_limits; }
    // Literals go without waiting for the go-ahead ({n+}).
    void setLiteralPlus(bool literalPlus) { m_literalPlus = literalPlus; }

    // Connects; returns what libcurl read on the way, as responses.
    QList<ImapResponse> open(const QString &doing);
    // Whether the connection is still up: what came unasked is read, a BYE or the end closes
    // it. Data is kept for the next command.
    bool stillOpen();
    void close();

    // Sends the command under a new tag and reads to its answer; keep: the names of the
    // untagged data to keep ("LIST"). A refusal is a result, not a throw.
    ImapResult run(const ImapCommand &command, const QList<QByteArray> &keep, const QString &doing);

    // The pieces of run, for APPEND and AUTHENTICATE.
    QByteArray begin(); // a new tag, and the command's counts and deadline started
    void startDeadline();
    void send(const QByteArray &bytes, const QString &doing);
    ImapResponse read(const QString &doing);
    ImapResult readTagged(const QByteArray &tag, const QList<QByteArray> &keep,
                          const QString &doing);
    // The "+" to go on, or the tagged refusal instead.
    std::optional<ImapResult> waitForGoAhead(const QByteArray &tag, const QString &doing);
    // After a send failed: the tagged refusal the server sent before it closed, if any.
    std::optional<ImapResult> earlyRefusal(const QByteArray &tag);

    // Logs out politely within about two seconds, then cuts the connection.
    void logout();

private:
    const ImapEndpoint &m_endpoint;
    ImapLimits m_limits;
    ImapConnection m_connection;
    ImapReader m_reader;
    unsigned m_tag = 0;
    bool m_literalPlus = false;
    int m_untagged = 0;
    std::size_t m_bytes = 0;
};
