#include "OwnNetwork.h"
#include "app/SmtpLoginCheck.h"
#include "common/CancelToken.h"
#include "common/Failure.h"
#include "mailbridge/imap/ImapAccountCheck.h"
#include "mailbridge/wiring/OutboxFactory.h"
#include "mailbridge/wiring/ReviewedSendAccount.h"
#include "support/MemorySettingsStore.h"
#include "support/ScriptRun.h"
#include "support/TestTools.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char *otherMachine = "192.0.2.2";

// Stands for a mail server: the kernel completes every connection to it, so after a run the
// connections waiting to be accepted are all that came.
class Listener
{
public:
    explicit Listener(const char *address)
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in in{};
        in.sin_family = AF_INET;
        ::inet_pton(AF_INET, address, &in.sin_addr);
        if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr *>(&in), sizeof in) != 0 ||
            ::listen(m_socket, 16) != 0)
            throw std::runtime_error(std::string("cannot listen on ") + address);
        socklen_t length = sizeof in;
        ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&in), &length);
        m_port = ntohs(in.sin_port);
    }
    ~Listener() { ::close(m_socket); }
    int port() const { return m_port; }
    int connections()
    {
        int count = 0;
        for (int accepted; (accepted = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;
             ++count)
            ::close(accepted);
        return count;
    }

private:
    int m_socket = -1;
    int m_port = 0;
};

class EncryptedConnectionTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString missing = ownNetworkMissing(); !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        static const QString added = addLoopbackAddress(otherMachine);
        if (!added.isEmpty())
            GTEST_SKIP() << added.toStdString();
        remote.emplace(otherMachine);
        local.emplace("127.0.0.1");
        QDir().mkpath(home.path() + "/files");
        writeFile(home.path() + "/files/a.txt", "the file\n");
    }

    // %1 stands for the other machine's port, %2 for this machine's.
    QString withPorts(QString key) const
    {
        return key.replace("%1", QString::number(remote->port()))
            .replace("%2", QString::number(local->port()));
    }

    // [MailClient] with these keys.
    void configure(const QStringList &keys)
    {
        QDir().mkpath(home.path() + "/config/Ferrymail");
        QFile file(home.path() + "/config/Ferrymail/Ferrymail.conf");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[MailClient]\nPasswordCommand=echo secret\n");
        for (const QString &key : keys)
            file.write(withPorts(key).toUtf8() + '\n');
    }

    MemorySettingsStore storeOf(const QStringList &keys)
    {
        MemorySettingsStore store;
        for (const QString &key : keys) {
            const QString line = withPorts(key);
            store.values["MailClient/" + line.section('=', 0, 0)] = line.section('=', 1);
        }
        return store;
    }

    void expectNothingReached(const QString &refusal)
    {
        EXPECT_TRUE(refusal.contains("without encryption")) << refusal.toStdString();
        EXPECT_EQ(remote->connections(), 0) << "the other machine was reached";
        EXPECT_EQ(local->connections(), 0) << "the refusal came after connecting";
    }

    QTemporaryDir home;
    std::optional<Listener> remote, local;
};

struct Destination
{
    const char *name;
    QStringList keys;
    QStringList arguments;
};

const QStringList sendArguments{"send",   "--to",           "ann@example.org",
                                "--from", "me@example.org", "--all"};

std::vector<Destination> destinations()
{
    return {
        {"send through the other machine",
         {"Kind=smtp", "SmtpHost=192.0.2.2", "SmtpPort=%1", "SmtpSecurity=none",
          "SmtpUser=me@example.org"},
         sendArguments},
        {"drafts on the other machine",
         {"Kind=imap", "ImapHost=192.0.2.2", "ImapPort=%1", "ImapSecurity=none",
          "ImapUser=me@example.org"},
         sendArguments},
        {"copies in Sent on the other machine",
         {"Kind=smtp", "SmtpHost=127.0.0.1", "SmtpPort=%2", "SmtpSecurity=none",
          "SmtpUser=me@example.org", "ImapHost=192.0.2.2", "ImapPort=%1", "ImapSecurity=none",
          "ImapUser=me@example.org", "SaveSentCopy=yes"},
         sendArguments},
        {"reviewed drafts sent through the other machine",
         {"Kind=imap", "ImapHost=127.0.0.1", "ImapPort=%2", "ImapSecurity=none",
          "ImapUser=me@example.org", "SmtpHost=192.0.2.2", "SmtpPort=%1", "SmtpSecurity=none"},
         {"send-drafts", "--yes"}},
        {"reviewed drafts listed on the other machine",
         {"Kind=imap", "ImapHost=192.0.2.2", "ImapPort=%1", "ImapSecurity=none",
          "ImapUser=me@example.org", "SmtpHost=127.0.0.1", "SmtpPort=%2", "SmtpSecurity=none"},
         {"send-drafts", "--yes"}},
    };
}

} // namespace

TEST_F(EncryptedConnectionTest, TheOtherMachineIsReachableSoARefusalMeansSomething)
{
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(remote->port());
    ::inet_pton(AF_INET, otherMachine, &in.sin_addr);
    EXPECT_EQ(::connect(probe, reinterpret_cast<sockaddr *>(&in), sizeof in), 0);
    ::close(probe);
    EXPECT_EQ(remote->connections(), 1);
}

TEST_F(EncryptedConnectionTest, NoCommandConnectsUnencryptedToAnotherMachine)
{
    for (const Destination &setup : destinations()) {
        SCOPED_TRACE(setup.name);
        configure(setup.keys);
        QStringList arguments = setup.arguments;
        if (arguments.first() == "send")
            arguments << home.path() + "/files";
        const CommandRun run = runAsScript(FERRYMAIL_BINARY, home.path(), arguments);
        EXPECT_NE(run.exitCode, 0) << run.out.toStdString();
        EXPECT_NE(run.exitCode, -1) << "it did not end";
        expectNothingReached(run.err);
    }
}

TEST_F(EncryptedConnectionTest, NoOutboxForTheWindowConnectsUnencryptedToAnotherMachine)
{
    // What the window's Send and its question for the server's size limit start from.
    for (const Destination &setup : destinations()) {
        SCOPED_TRACE(setup.name);
        MemorySettingsStore store = storeOf(setup.keys);
        QString refusal;
        try {
            if (setup.arguments.first() == "send-drafts")
                createReviewedSend(store, QStringLiteral("secret"));
            else
                createOutbox(store, QStringLiteral("secret"))->messageSizeLimit();
        } catch (const Failure &failure) {
            refusal = failure.description();
        }
        expectNothingReached(refusal);
    }
}

TEST_F(EncryptedConnectionTest, TheAccountWindowsTestConnectsUnencryptedToNoOtherMachine)
{
    CancelToken cancel;
    QString refusal;
    try {
        checkSmtpLogin(
            SmtpEndpoint{
                otherMachine, remote->port(), ImapSecurity::None, "me@example.org", {}, {}},
            QStringLiteral("secret"), nullptr, cancel);
    } catch (const Failure &failure) {
        refusal = failure.description();
    }
    expectNothingReached(refusal);

    ImapEndpoint imap;
    imap.host = otherMachine;
    imap.port = remote->port();
    imap.security = ImapSecurity::None;
    imap.user = "me@example.org";
    refusal.clear();
    try {
        checkImapAccount(imap, QStringLiteral("secret"), cancel);
    } catch (const Failure &failure) {
        refusal = failure.description();
    }
    expectNothingReached(refusal);
}
