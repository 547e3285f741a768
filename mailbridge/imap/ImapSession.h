#pragma once

#include "mailbridge/imap/ImapEndpoint.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class AccessTokenSource;

// How a session proves who it is: a password (LOGIN), or an OAuth 2.0 access token
// (AUTHENTICATE XOAUTH2 or OAUTHBEARER, whichever the server offers).
struct ImapCredentials
{
    QString password;
    std::shared_ptr<AccessTokenSource> tokens; // set for OAuth 2.0
};

// One logged-in connection to an account, kept open across the messages of a Send and made
// anew after the server dropped it. libcurl connects, checks the certificate and upgrades
// with STARTTLS; everything from the login on is plain IMAP on its connection, read as the
// protocol defines responses. Every wait is bounded and ends within a fraction of a second
// of a cancel. Every call throws Failure with a description a person can act on, or
// SendCancelled; not safe to share between threads.
class ImapSession
{
public:
    // Throws Failure, before anything connects, for a user name, password or folder that
    // could not be sent safely (a line break or NUL in it).
    ImapSession(ImapEndpoint endpoint, ImapCredentials credentials);
    ImapSession(ImapEndpoint endpoint, QString password);
    // Logs out politely when it can within about two seconds, then cuts the connection.
    ~ImapSession();
    ImapSession(const ImapSession &) = delete;
    ImapSession &operator=(const ImapSession &) = delete;

    const ImapEndpoint &endpoint() const { return m_endpoint; }

    // Asked during every wait; once it says true, the connection is cut and the call throws
    // SendCancelled.
    void setCancelCheck(std::function<bool()> cancelled);
    std::function<bool()> cancelCheck() const;

    // The folder drafts go into, encoded as IMAP names it: the one set; else the one the
    // server marks \Drafts; else a "Drafts" under the personal namespace, found without
    // regard to case or created. Connects and logs in on first use, and subscribes the folder
    // when it can.
    const QByteArray &draftsFolder();
    // How the folder was chosen, as a person reads it.
    QString howFolderWasChosen();
    // The largest message the server takes into the folder, when it says (APPENDLIMIT).
    std::optional<std::uint64_t> appendLimit();

    // The greeting and capabilities of the last connection made.
    QByteArray greeting() const { return m_greeting; }
    QList<QByteArray> capabilities() const { return m_capabilities; }

    // Gives the message's bytes to whoever composes it, in order.
    using MessageSink = std::function<void(const char *, std::size_t)>;

    // Appends a message of exactly size bytes, which compose writes into the sink it is given,
    // to the drafts folder, flagged \Draft and \Seen. A message cut short or too long is never
    // kept: the connection is dropped mid-literal. When the server's answer to a whole message
    // is lost, asks the server on a new connection whether a message of this Message-ID is
    // there, and sends it once more when it is not (compose is called again); throws
    // PerhapsFiled when that cannot be known. description names the message in failures.
    void appendDraft(std::uint64_t size, const QByteArray &messageId, const QString &description,
                     const std::function<void(const MessageSink &)> &compose);

private:
    struct Handle;
    class AnswerLost;

    void connect();
    bool stillConnected();
    void disconnect();
    void logout();
    void logIn(const QString &doing);
    void logInWithToken(const QString &doing);
    QList<QByteArray> command(const QByteArray &line, const QString &doing);
    QByteArray nextTag();
    // Sends the line's parts, each literal announced and, unless the server takes it without
    // waiting, sent after its go-ahead; returns the tag.
    QByteArray sendCommand(const QList<QByteArray> &parts, const QList<bool> &isLiteral,
                           const QString &doing);
    QByteArray astring(const QByteArray &text, QList<QByteArray> &parts, QList<bool> &isLiteral);
    QList<QByteArray> readTagged(const QByteArray &tag, const QString &doing);
    void waitForGoAhead(const QByteArray &tag, const QString &doing);
    QByteArray readResponse(const QString &doing);
    QByteArray readLine(const QString &doing);
    QByteArray takeBytes(qsizetype count, const QString &doing);
    void receiveMore(const QString &doing);
    void sendAll(const char *data, std::size_t size, const QString &doing);
    void waitFor(short events, const QString &doing);
    void checkCancel();
    void appendOnce(std::uint64_t size, const QString &doing, const QString &description,
                    const std::function<void(const MessageSink &)> &compose);
    bool arrivedAfterAll(const QByteArray &messageId, const QString &doing);
    [[noreturn]] void fail(int curlCode, const QString &doing);
    [[noreturn]] void refused(const QByteArray &response, const QString &doing);
    [[noreturn]] void lost(const QString &doing, const QString &detail);
    void findFolder();
    QByteArray usualDraftsFolder(const QString &account);

    ImapEndpoint m_endpoint;
    ImapCredentials m_credentials;
    std::function<bool()> m_cancelled;
    std::unique_ptr<Handle> m_handle;
    QList<QByteArray> m_lines; // what libcurl read while connecting
    QByteArray m_greeting;
    QList<QByteArray> m_capabilities;
    QByteArray m_lastWords; // a BYE or refusal the server sent before it went
    QByteArray m_folder;
    QString m_folderChoice;
    bool m_limitKnown = false;
    std::optional<std::uint64_t> m_appendLimit;
};
