#pragma once

#include "mailbridge/imap/ImapEndpoint.h"
#include "mailbridge/imap/ImapExchange.h"
#include "mailbridge/imap/ImapResponses.h"

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
// anew after the server dropped it. Its rooms: the connection and the reader (ImapExchange),
// the login (ImapLogin), the choice of the folder (FolderChoice) and the wording of failures
// (ImapFailures); this class runs the commands in their order and tells what came of them.
// Every call throws Failure with a description a person can act on, or SendCancelled; not
// safe to share between threads.
class ImapSession
{
public:
    // Throws Failure, before anything connects, for a user name, password or folder that
    // could not be sent safely (a line break or NUL in it).
    ImapSession(ImapEndpoint endpoint, ImapCredentials credentials, ImapLimits limits = {});
    ImapSession(ImapEndpoint endpoint, QString password);
    // Logs out politely when it can within about two seconds, then cuts the connection.
    ~ImapSession();
    ImapSession(const ImapSession &) = delete;
    ImapSession &operator=(const ImapSession &) = delete;

    const ImapEndpoint &endpoint() const { return m_endpoint; }

    // Asked during every wait and before every read; once it says true, the connection is
    // cut and the call throws SendCancelled (PerhapsFiled, cancelled, once a whole message
    // went).
    void setCancelCheck(std::function<bool()> cancelled);
    std::function<bool()> cancelCheck() const;

    // The folder messages go into, drafts or sent mail as the endpoint's role says, encoded as
    // IMAP names it (see FolderChoice); created when missing, marked for its role where the
    // server allows. Connects and logs in on first use, and subscribes the folder when it can.
    const QByteArray &folder();
    // How the folder was chosen, as a person reads it.
    QString howFolderWasChosen();
    // The largest message the server takes into the folder, when it says (APPENDLIMIT).
    std::optional<std::uint64_t> appendLimit();

    // The greeting and capabilities of the last connection made.
    QByteArray greeting() const { return m_greeting; }
    QList<QByteArray> capabilities() const { return m_capabilities; }

    // Runs a command that must succeed, connecting and logging in first when needed: a
    // refusal throws Failure worded for doing. keep: as ImapExchange::run takes it.
    ImapResult command(const ImapCommand &command, const QList<QByteArray> &keep,
                       const QString &doing);
    // The same, a refusal returned instead of thrown.
    ImapResult attempt(const ImapCommand &command, const QList<QByteArray> &keep,
                       const QString &doing);
    // The capabilities the server tells once logged in; connects.
    const QList<QByteArray> &loggedInCapabilities();

    // What SELECT of folder() told.
    struct Selection
    {
        std::uint64_t uidValidity = 0;
        // Nothing when the server did not say: then every flag is kept.
        std::optional<QList<QByteArray>> permanentFlags;
    };
    // folder() selected for changes, once per connection unless again: a folder deleted and
    // made anew under the same name is only told by selecting it again.
    const Selection &select(bool again = false);

    // Gives the message's bytes to whoever composes it, in order.
    using MessageSink = std::function<void(const char *, std::size_t)>;

    // Appends a message of exactly size bytes, which compose writes into the sink it is given,
    // to the folder, flagged \Seen, and \Draft in the drafts folder. A message cut short or too
    // long is never kept: the connection is dropped mid-literal. When the server's answer to a
    // whole message is lost, asks the server on a new connection whether a message of this
    // Message-ID is there, and sends it once more when it is not (compose is called again); throws
    // PerhapsFiled only when that cannot be known. description names the message in failures.
    void append(std::uint64_t size, const QByteArray &messageId, const QString &description,
                const std::function<void(const MessageSink &)> &compose);

private:
    class AnswerLost;

    void connect();
    void openConnection(const QString &doing);
    void logInWithToken(const QString &doing);
    void appendOnce(std::uint64_t size, const QString &doing,
                    const std::function<void(const MessageSink &)> &compose);
    bool arrivedAfterAll(const QByteArray &messageId, const QString &doing);
    void findFolder();
    void createFolder(const QByteArray &folder, const QList<ListedMailbox> &folders);
    void subscribe(const QByteArray &folder);

    ImapEndpoint m_endpoint;
    ImapCredentials m_credentials;
    ImapExchange m_exchange;
    QByteArray m_greeting;
    QList<QByteArray> m_capabilities;
    QByteArray m_folder;
    QString m_folderChoice;
    bool m_limitKnown = false;
    std::optional<std::uint64_t> m_appendLimit;
    std::optional<Selection> m_selection; // of the connection open now
};
