#include "DnsServer.h"
#include "OwnNetwork.h"
#include "mailbridge/discovery/SettingsFinder.h"
#include "support/TestTools.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <memory>

namespace {

using Outcome = DiscoveryResult::Outcome;
using namespace std::chrono_literals;

const QHostAddress testNameserver(QStringLiteral("127.0.0.1"));

// Why the cases cannot run on this machine; empty when they can.
QString missingHere(bool needsOwnMounts)
{
    return needsOwnMounts && ownNetworkMissing().isEmpty() ? privateMountsMissing()
                                                           : ownNetworkMissing();
}

// One dnsmasq for the whole program, with a domain per case.
class DnsDiscoveryTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!missingHere(false).isEmpty())
            return;
        s_server = std::make_unique<DnsServer>(testNameserver.toString());
        DnsServer &dns = *s_server;
        dns.addLocalDomain("test");
        // TLS wins over STARTTLS; the lower priority wins.
        dns.addService("_imaps._tcp.tls.test", "backup.tls.test", 994, 20);
        dns.addService("_imaps._tcp.tls.test", "imap.tls.test", 993, 10);
        dns.addService("_imap._tcp.tls.test", "plain.tls.test", 143);
        // Same priority: the greater weight wins.
        dns.addService("_imaps._tcp.weights.test", "light.weights.test", 9931, 5, 10);
        dns.addService("_imaps._tcp.weights.test", "heavy.weights.test", 9932, 5, 60);
        dns.addService("_imap._tcp.starttls.test", "mail.starttls.test", 143);
        dns.addNoService("_imaps._tcp.dotted.test");
        dns.addService("_imap._tcp.dotted.test", "mail.dotted.test", 1143);
        dns.addNoService("_imaps._tcp.none.test");
        dns.addNoService("_imap._tcp.none.test");
        dns.addService("_imaps._tcp.elsewhere.test", "imap.hosting.example", 993);
        // Sending: TLS wins over STARTTLS; either comes with or without IMAP.
        dns.addService("_submissions._tcp.tls.test", "smtp.tls.test", 465);
        dns.addService("_submission._tcp.tls.test", "plain-smtp.tls.test", 587);
        dns.addService("_submission._tcp.starttls.test", "mail.starttls.test", 587);
        dns.addService("_submission._tcp.sendonly.test", "out.sendonly.test", 2587);
        // The names exist without SRV records (no data), and without any record (no name).
        for (const char *service : {"_imaps", "_imap", "_submissions", "_submission"})
            dns.addText(QStringLiteral("%1._tcp.nodata.test").arg(service), "not a server");
        dns.start();
    }
    static void TearDownTestSuite() { s_server.reset(); }
    void SetUp() override
    {
        if (const QString missing = missingHere(false); !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
    }

    static DiscoveryResult find(const QString &address)
    {
        return findSettingsWaiting(address, testNameserver, 5s);
    }

    static std::unique_ptr<DnsServer> s_server;
};
std::unique_ptr<DnsServer> DnsDiscoveryTest::s_server;

TEST_F(DnsDiscoveryTest, ServiceRecordsGiveServerPortAndSecurity)
{
    const struct
    {
        const char *address;
        const char *host;
        int port;
        ImapSecurity security;
        const char *smtpHost; // nullptr: none
        int smtpPort;
        ImapSecurity smtpSecurity;
    } rows[] = {
        {"me@tls.test", "imap.tls.test", 993, ImapSecurity::Tls, "smtp.tls.test", 465,
         ImapSecurity::Tls},
        {"me@weights.test", "heavy.weights.test", 9932, ImapSecurity::Tls, nullptr, 0, {}},
        {"me@starttls.test", "mail.starttls.test", 143, ImapSecurity::StartTls,
         "mail.starttls.test", 587, ImapSecurity::StartTls},
        {"me@dotted.test", "mail.dotted.test", 1143, ImapSecurity::StartTls, nullptr, 0, {}},
        {"me@sendonly.test", "", 993, ImapSecurity::Tls, "out.sendonly.test", 2587,
         ImapSecurity::StartTls},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.address);
        const DiscoveryResult result = find(row.address);
        ASSERT_EQ(result.outcome, Outcome::Found) << result.reason << s_server->log();
        EXPECT_EQ(result.settings.host, row.host);
        EXPECT_EQ(result.settings.port, row.port);
        EXPECT_EQ(result.settings.security, row.security);
        EXPECT_EQ(result.settings.smtpHost, row.smtpHost ? row.smtpHost : "");
        if (row.smtpHost) {
            EXPECT_EQ(result.settings.smtpPort, row.smtpPort);
            EXPECT_EQ(result.settings.smtpSecurity, row.smtpSecurity);
        }
        EXPECT_FALSE(result.settings.sizeLimit) << "the DNS states no limit";
        EXPECT_EQ(result.settings.signIn, SignInKind::Password);
        EXPECT_EQ(result.settings.user, row.address);
        EXPECT_TRUE(result.settings.hint.isEmpty()) << result.settings.hint;
        const QString domain = QString(row.address).section('@', 1);
        EXPECT_EQ(result.source, "from the DNS records of " + domain);
    }
}

TEST_F(DnsDiscoveryTest, AServerOutsideTheDomainIsPointedOut)
{
    const DiscoveryResult result = find("me@elsewhere.test");
    ASSERT_EQ(result.outcome, Outcome::Found) << result.reason;
    EXPECT_EQ(result.settings.host, "imap.hosting.example");
    EXPECT_TRUE(result.settings.hint.contains("not in elsewhere.test")) << result.settings.hint;
}

TEST_F(DnsDiscoveryTest, NoUsableRecordsAskForTheSettingsByHand)
{
    for (const char *address : {"me@none.test", "me@nothing.test", "me@nodata.test"}) {
        SCOPED_TRACE(address);
        const DiscoveryResult result = find(address);
        EXPECT_EQ(result.outcome, Outcome::NothingFound) << result.reason;
        EXPECT_TRUE(result.reason.startsWith(QStringLiteral("Nothing found for ") + address))
            << result.reason;
        EXPECT_TRUE(result.reason.endsWith("Enter the settings by hand.")) << result.reason;
        EXPECT_FALSE(result.reason.contains("offline")) << result.reason;
        EXPECT_EQ(describeResult(result), result.reason);
    }
    EXPECT_TRUE(s_server->log().contains("_submission._tcp.nodata.test")) << "all four asked";
}

TEST_F(DnsDiscoveryTest, AFailedLookupIsNotTakenForMissingRecords)
{
    // The server refuses a domain it does not serve: neither "nothing found" nor a STARTTLS
    // answer to a question that was never answered.
    const DiscoveryResult result = find("me@refused.example");
    EXPECT_EQ(result.outcome, Outcome::LookupFailed) << result.reason;
    EXPECT_TRUE(result.reason.startsWith("The lookup could not be made (offline?)"))
        << result.reason;
    EXPECT_TRUE(result.reason.contains("_imaps._tcp.refused.example")) << result.reason;
    EXPECT_TRUE(result.reason.endsWith("Enter the settings by hand.")) << result.reason;
    EXPECT_TRUE(s_server->log().contains("_imaps._tcp.refused.example")) << s_server->log();
    EXPECT_FALSE(s_server->log().contains("_imap._tcp.refused.example")) << s_server->log();
}

TEST_F(DnsDiscoveryTest, NoNameserverToAskIsALookupThatCouldNotBeMade)
{
    // Nothing listens on 127.0.0.4: as on a machine without a network.
    const DiscoveryResult result =
        findSettingsWaiting("me@tls.test", QHostAddress(QStringLiteral("127.0.0.4")), 2s);
    EXPECT_EQ(result.outcome, Outcome::LookupFailed) << result.reason;
    EXPECT_TRUE(result.reason.startsWith("The lookup could not be made (offline?)"))
        << result.reason;
}

TEST_F(DnsDiscoveryTest, ANameserverThatNeverAnswersEndsTheSearchInTime)
{
    QUdpSocket silent;
    ASSERT_TRUE(silent.bind(QHostAddress(QStringLiteral("127.0.0.3")), 53));
    QElapsedTimer clock;
    clock.start();
    const DiscoveryResult result =
        findSettingsWaiting("me@tls.test", QHostAddress(QStringLiteral("127.0.0.3")), 300ms);
    // The resolver on its own would try for 10 s (two tries of 5 s).
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_EQ(result.outcome, Outcome::LookupFailed);
    EXPECT_TRUE(result.reason.startsWith("The lookup could not be made (offline?)"))
        << result.reason;
    EXPECT_TRUE(result.reason.contains("no answer for _imaps._tcp.tls.test within 0.3 seconds"))
        << result.reason;
}

TEST_F(DnsDiscoveryTest, TheWindowsSearchAnswersOnceFromTheEventLoopForTheLastAddress)
{
    SettingsFinder finder;
    finder.setNameserver(testNameserver);
    QSignalSpy finished(&finder, &SettingsFinder::finished);
    finder.find("me@tls.test");
    finder.find("me@gmail.com"); // the person changed their mind
    finder.find("me@starttls.test");
    EXPECT_EQ(finished.count(), 0) << "answered from within find()";
    EXPECT_TRUE(finder.isRunning());
    ASSERT_TRUE(finished.wait(5000));
    QTest::qWait(300); // room for a stale answer to arrive
    ASSERT_EQ(finished.count(), 1);
    const auto result = finished.at(0).at(0).value<DiscoveryResult>();
    EXPECT_EQ(result.address, "me@starttls.test");
    EXPECT_EQ(result.settings.host, "mail.starttls.test");
    EXPECT_FALSE(finder.isRunning());
}

// `ferrymail account find` asks the system's resolver: /etc/resolv.conf is replaced in this
// program's own mount namespace, pointing at a second dnsmasq.
class AccountFindCommandTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!missingHere(true).isEmpty())
            return;
        s_scratch = std::make_unique<QTemporaryDir>();
        s_server = std::make_unique<DnsServer>(QStringLiteral("127.0.0.2"));
        s_server->addLocalDomain("test");
        s_server->addService("_imaps._tcp.cli.test", "imap.cli.test", 993);
        s_server->start();
        useNameserver(s_server->address(), s_scratch->path());
    }
    static void TearDownTestSuite()
    {
        s_server.reset();
        s_scratch.reset();
    }
    void SetUp() override
    {
        if (const QString missing = missingHere(true); !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
    }

    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    static Run run(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral(FERRYMAIL_BINARY), QStringList{"account"} + arguments);
        EXPECT_TRUE(process.waitForFinished(30000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    static std::unique_ptr<QTemporaryDir> s_scratch;
    static std::unique_ptr<DnsServer> s_server;
};
std::unique_ptr<QTemporaryDir> AccountFindCommandTest::s_scratch;
std::unique_ptr<DnsServer> AccountFindCommandTest::s_server;

TEST_F(AccountFindCommandTest, PrintsWhatTheWindowWouldFillIn)
{
    const Run fromDns = run({"find", "Me <me@cli.test>"});
    EXPECT_EQ(fromDns.exitCode, 0) << fromDns.err;
    EXPECT_EQ(fromDns.out, "Settings for me@cli.test, from the DNS records of cli.test:\n"
                           "Server: imap.cli.test\n"
                           "Port: 993\n"
                           "Security: TLS\n"
                           "User: me@cli.test\n"
                           "Sign-in: password\n");
    EXPECT_TRUE(fromDns.err.isEmpty()) << fromDns.err;

    const Run known = run({"find", "me@icloud.com"});
    EXPECT_EQ(known.exitCode, 0) << known.err;
    EXPECT_TRUE(
        known.out.startsWith("Settings for me@icloud.com, from the list of known providers:\n"
                             "Server: imap.mail.me.com\n"))
        << known.out;
    EXPECT_TRUE(known.out.contains("Note: iCloud needs an app-specific password")) << known.out;
    EXPECT_TRUE(s_server->log().contains("_imaps._tcp.cli.test")) << s_server->log();
    EXPECT_FALSE(s_server->log().contains("icloud")) << "the known list needs no DNS";
}

TEST_F(AccountFindCommandTest, NothingFoundOrNoAddressFailsOnStandardError)
{
    const struct
    {
        QStringList arguments;
        int exitCode;
        const char *error;
    } rows[] = {
        {{"find", "me@nothing.test"}, 1, "Enter the settings by hand."},
        {{"find", "me@refused.example"}, 1, "could not be made (offline?)"},
        {{"find", "nobody"}, 2, "\"nobody\" is not an email address"},
        {{"find"}, 2, "Usage: ferrymail account find ADDRESS"},
        {{"lose", "me@cli.test"}, 2, "Usage: ferrymail account find ADDRESS"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const Run result = run(row.arguments);
        EXPECT_EQ(result.exitCode, row.exitCode);
        EXPECT_TRUE(result.out.isEmpty()) << result.out;
        EXPECT_TRUE(result.err.contains(row.error)) << result.err;
    }
}

} // namespace
