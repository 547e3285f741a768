#pragma once

#include "mailbridge/imap/ImapEndpoint.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// One logged-in connection to an account, kept open across the messages of a Send and made
// anew after the server dropped it. libcurl connects, checks the certificate, upgrades with
// STARTTLS and logs in; the commands after that go over its connection as plain IMAP, so that
// APPEND can set \Draft itself. Every call throws Failure with a description a person can
// act on; not safe to share between threads.
class ImapSession
{
public:
    ImapSession(ImapEndpoint endpoint, QString password);
    ~ImapSession();
    ImapSession(const ImapSession &) = delete;
    ImapSession &operator=(const ImapSession &) = delete;

    const ImapEndpoint &endpoint() const { return m_endpoint; }

    // The folder drafts go into, encoded as IMAP names it: the one set, else the one the
    // server marks \Drafts, else "Drafts" (created when missing). Connects and logs in on
    // first use, and subscribes the folder when it is not.
    const QByteArray &draftsFolder();
    // How the folder was chosen: "set in the account", "marked \Drafts", "the usual name".
    QString howFolderWasChosen();
    // The largest message the server takes into the folder, when it says (APPENDLIMIT).
    std::optional<std::uint64_t> appendLimit();

    // The greeting and capabilities of the last connection made.
    QByteArray greeting() const { return m_greeting; }
    QList<QByteArray> capabilities() const { return m_capabilities; }

    // Appends the size bytes of fd, read from its start, to the drafts folder flagged \Draft
    // and \Seen in one step. sent(n) is told the bytes sent so far and returns false to
    // cancel, which drops the connection mid-message (the server keeps nothing of it) and
    // throws SendCancelled. description names the message in failures.
    void appendDraft(int fd, std::uint64_t size, const QString &description,
                     const std::function<bool(std::uint64_t sent)> &sent);

private:
    struct Handle;

    // Connects and logs in unless a connection is open and the server has not left it.
    void connect();
    bool stillConnected();
    void disconnect();
    // One command, answered OK; returns every response line, a literal as a line of its own.
    QList<QByteArray> command(const QByteArray &line, const QString &doing);
    QByteArray nextTag();
    QList<QByteArray> readResponse(const QByteArray &tag, const QString &doing);
    QByteArray readLine(const QString &doing);
    void receiveMore(const QString &doing);
    void sendAll(const char *data, std::size_t size, const QString &doing);
    void waitFor(short events, const QString &doing);
    [[noreturn]] void fail(int curlCode, const QString &doing);
    [[noreturn]] void refused(const QByteArray &response, const QString &doing);
    [[noreturn]] void lost(const QString &doing, const QString &detail);
    void findFolder();

    ImapEndpoint m_endpoint;
    QString m_password;
    std::unique_ptr<Handle> m_handle;
    QList<QByteArray> m_lines; // of the login
    QByteArray m_greeting;
    QList<QByteArray> m_capabilities;
    QByteArray m_folder;
    QString m_folderChoice;
    bool m_limitKnown = false;
    std::optional<std::uint64_t> m_appendLimit;
};
