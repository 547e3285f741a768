#pragma once

#include "mailbridge/imap/ImapEndpoint.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// One logged-in connection to an account, kept open across the messages of a Send (libcurl
// reconnects by itself when the server dropped it). Every call throws Failure with a
// description a person can act on; not safe to share between threads.
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
    // and \Seen. sent(n) is told the bytes sent so far and returns false to cancel, which
    // drops the connection mid-message (the server keeps nothing of it) and throws
    // SendCancelled. description names the message in failures. Throws FiledWithFailure
    // when the message was filed but could not be flagged \Draft.
    void appendDraft(int fd, std::uint64_t size, const QByteArray &messageId,
                     const QString &description,
                     const std::function<bool(std::uint64_t sent)> &sent);

private:
    struct Handle;

    // One command, answered OK; returns every response line. mailbox, when given, is
    // selected first.
    QList<QByteArray> command(const QByteArray &line, const QString &doing,
                              const QByteArray &mailbox = QByteArray());
    QList<QByteArray> perform(const QString &doing);
    [[noreturn]] void fail(int curlCode, const QString &doing);
    void findFolder();
    QByteArray mailboxUrl(const QByteArray &mailbox) const;
    std::optional<std::uint64_t> uidOfAppended(const QByteArray &messageId);

    ImapEndpoint m_endpoint;
    QString m_password;
    std::unique_ptr<Handle> m_handle;
    QList<QByteArray> m_lines; // of the running transfer
    QByteArray m_greeting;
    QList<QByteArray> m_capabilities;
    QByteArray m_folder;
    QString m_folderChoice;
    bool m_limitKnown = false;
    std::optional<std::uint64_t> m_appendLimit;
};
