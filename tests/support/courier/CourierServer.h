#pragma once

#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

// A Courier IMAP server of its own, run from Debian's packages unpacked into the test
// servers' cache (tests/support/unpack-test-server.sh; the packages conflict with Dovecot's)
// on a free port of 127.0.0.1, plain IMAP, with its Maildir in a temporary folder. Its login
// asks a system-wide authentication daemon at a fixed path, which the tests cannot own, so
// every connection starts logged in (PREAUTH) as the one user. As Courier has it: personal
// folders under "INBOX." with "." between levels, and here an "INBOX.Drafts" that no \Drafts
// marks.
class CourierServer
{
public:
    static constexpr const char *user = "drafter";
    static constexpr const char *password = "secret";
    static constexpr const char *draftsFolder = "INBOX.Drafts";

    // Starts it and waits until its port answers; throws std::runtime_error with the log, or
    // saying how to unpack Courier when it is not in the cache.
    CourierServer();
    ~CourierServer();
    CourierServer(const CourierServer &) = delete;
    CourierServer &operator=(const CourierServer &) = delete;

    int imapPort() const { return m_imapPort; }
    QString log() const;
    pid_t processGroup() const { return m_pid; }
    // The messages of a folder ("INBOX.Drafts"), read from the Maildir behind the server's back.
    QList<QByteArray> messagesIn(const QString &folder) const;

private:
    QString maildir() const;

    QTemporaryDir m_dir;
    int m_imapPort = 0;
    pid_t m_pid = -1;
};
