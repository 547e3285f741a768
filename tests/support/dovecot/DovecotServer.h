#pragma once

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Certificates made with openssl once per process: a CA, and a certificate it signed for
// "localhost" (also 127.0.0.1) and one for "other.example".
struct TestCertificates
{
    QString caFile;
    QString certificate(const QString &name) const;
    QString key(const QString &name) const;
    QString folder;
};
const TestCertificates &testCertificates();

struct DovecotOptions
{
    // Announced as APPENDLIMIT=n and enforced by the quota plugin.
    std::optional<std::uint64_t> appendLimit;
    // Whether LITERAL+ is announced; without, every APPEND waits for the server's go-ahead.
    bool literalPlus = true;
    // Whether "Brouillons" is marked \Drafts (special use); without, no folder is.
    bool marksDrafts = true;
    // The personal namespace "INBOX." with "." between levels, as many servers have it, and
    // an unmarked "INBOX.Drafts" instead of "Brouillons".
    bool inboxNamespace = false;
    // Whose certificate the server shows.
    QString certificateName = QStringLiteral("localhost");
    // The submission service on two more ports (STARTTLS and TLS), relaying through
    // lmtp_bridge.py into Dovecot's LMTP, which delivers to the INBOX of the user named by
    // the recipient's local part; the user "ann" is added to receive.
    bool submission = false;
    // A folder marked \Sent (special use), made at the first login; empty: none is marked.
    QString sentFolder;
    // Appended to the configuration as it stands; later settings win over earlier ones.
    QString extraConfiguration;
};

// A Dovecot of its own, run as a child process (dovecot -F) on free ports of 127.0.0.1 with
// its configuration, state, log and mail in a temporary folder. Users: "drafter" and "full"
// (whose quota is nearly used up), both with password "secret". The folder marked \Drafts is
// "Brouillons", created but not subscribed. Works as root and as another user. Every process
// of it works in a folder named for the build (see TestServerProcesses.h).
class DovecotServer
{
public:
    static constexpr const char *user = "drafter";
    static constexpr const char *fullUser = "full";
    static constexpr const char *password = "secret";
    static constexpr const char *draftsFolder = "Brouillons";
    static constexpr const char *recipient = "ann";

    explicit DovecotServer(DovecotOptions options = {});
    ~DovecotServer();
    DovecotServer(const DovecotServer &) = delete;
    DovecotServer &operator=(const DovecotServer &) = delete;

    // Starts it unless it runs, and waits until both ports answer; throws std::runtime_error
    // with the log.
    void start();
    // Kills it and all its processes at once, as a crash would, and waits until they are
    // gone; start() brings it back with the same mail.
    void kill();
    void stop();
    // The process group of the server while it runs, else 0.
    pid_t processGroup() const { return m_pid > 0 ? m_pid : 0; }

    int imapsPort() const { return m_imapsPort; }
    int imapPort() const { return m_imapPort; }
    // With DovecotOptions::submission: plain with STARTTLS, and TLS from the first byte.
    int submissionPort() const { return m_submissionPort; }
    int submissionsPort() const { return m_submissionsPort; }
    QString caFile() const { return testCertificates().caFile; }
    // The Maildir of a user, for looking behind the server's back.
    QString maildir(const QString &userName) const;
    QString log() const;

private:
    void writeConfiguration();

    DovecotOptions m_options;
    QTemporaryDir m_dir;
    int m_imapsPort = 0;
    int m_imapPort = 0;
    int m_submissionPort = 0;
    int m_submissionsPort = 0;
    int m_lmtpPort = 0;
    int m_bridgePort = 0;
    pid_t m_pid = -1;
    pid_t m_bridgePid = -1;
};
