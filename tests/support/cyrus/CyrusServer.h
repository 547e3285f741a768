#pragma once

#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

// A Cyrus IMAP server of its own, run from Debian's packages unpacked into the test servers'
// cache (tests/support/unpack-test-server.sh; the packages conflict with Dovecot's), on free
// ports of 127.0.0.1 with its configuration and mail in a temporary folder. As many sites
// have it: personal folders under "INBOX." with "." between levels, an "INBOX.Drafts" that
// no \Drafts marks, and messages with bare line feeds refused. Every password is accepted.
class CyrusServer
{
public:
    static constexpr const char *user = "drafter";
    static constexpr const char *password = "secret";
    static constexpr const char *draftsFolder = "INBOX.Drafts";

    // Starts it and waits until both ports answer; throws std::runtime_error with the log,
    // or saying how to unpack Cyrus when it is not in the cache.
    CyrusServer();
    ~CyrusServer();
    CyrusServer(const CyrusServer &) = delete;
    CyrusServer &operator=(const CyrusServer &) = delete;

    int imapPort() const { return m_imapPort; }
    int imapsPort() const { return m_imapsPort; }
    QString caFile() const;
    QString log() const;
    pid_t processGroup() const { return m_pid; }

    // Where the unpacked packages are: $FERRYMAIL_TEST_SERVERS/cyrus, else
    // $XDG_CACHE_HOME (or ~/.cache)/ferrymail/test-servers/cyrus.
    static QString unpackedRoot();

private:
    void writeConfiguration();
    void start();

    QTemporaryDir m_dir;
    int m_imapPort = 0;
    int m_imapsPort = 0;
    pid_t m_pid = -1;
};
