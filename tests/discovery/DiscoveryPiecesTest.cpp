#include "mailbridge/discovery/KnownProviders.h"
#include "mailbridge/discovery/MailDomain.h"
#include "mailbridge/discovery/ServiceRecords.h"
#include "mailbridge/discovery/SettingsFinder.h"
#include "support/TestTools.h"

#include <QSignalSpy>

namespace {

TEST(MailDomain, GivesTheLowerCaseAsciiDomainOfAnAddress)
{
    const struct
    {
        const char *address;
        const char *domain;
    } rows[] = {
        {"me@example.org", "example.org"},
        {"  Me@Example.ORG. ", "example.org"},
        {"Ann Smith <ann@mail.example.org>", "mail.example.org"},
        {"\"a@b\"@example.org", "example.org"},
        {"me@bücher.example", "xn--bcher-kva.example"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(mailDomain(QString::fromUtf8(row.address)), row.domain) << row.address;
}

TEST(MailDomain, RefusesWhatCannotBeAskedOfTheDns)
{
    for (const char *text : {"", "nobody", "@example.org", "me@", "me@exa mple.org",
                             "me@example..org", "me@-example.org", "me@example.org\n.evil",
                             "me@_imaps._tcp.example.org", "me@example/org"}) {
        const QString reason = failureOf([&] { mailDomain(QString::fromUtf8(text)); });
        EXPECT_TRUE(reason.contains("is not an email address")) << text << ": " << reason;
    }
}

TEST(KnownProviders, SayHowEachProviderSignsIn)
{
    const struct
    {
        const char *domain;
        SignInKind signIn;
        const char *provider;
        const char *hint; // part of it; nullptr: none
    } rows[] = {
        {"hotmail.com", SignInKind::OAuth2, "microsoft", "Microsoft"},
        {"googlemail.com", SignInKind::OAuth2, "google", "app password"},
        {"me.com", SignInKind::Password, "", "app-specific password"},
        {"ymail.com", SignInKind::Password, "", "app password"},
        {"fastmail.com", SignInKind::Password, "", "app password"},
        {"gmx.de", SignInKind::Password, "", "switched on"},
        {"posteo.net", SignInKind::Password, "", nullptr},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.domain);
        const std::optional<FoundSettings> found = knownProvider(row.domain);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->security, ImapSecurity::Tls);
        EXPECT_EQ(found->signIn, row.signIn);
        EXPECT_EQ(found->oauthProvider, row.provider);
        if (row.hint)
            EXPECT_TRUE(found->hint.contains(row.hint)) << found->hint;
        else
            EXPECT_TRUE(found->hint.isEmpty()) << found->hint;
    }
    // Microsoft 365 runs on the customer's own domain; look-alikes are not the provider.
    for (const char *other : {"example.org", "office365.com", "mail.gmail.com", "gmail.co",
                              "notgmail.com", "outlook.com.evil.example"})
        EXPECT_FALSE(knownProvider(other)) << other;
}

TEST(ServiceRecords, ThePreferredRecordIsTheLowestPriorityThenTheGreatestWeight)
{
    EXPECT_FALSE(preferredRecord({}));
    const std::vector<ServiceRecord> records = {
        {"b.example.org.", 993, 20, 100},
        {"A.example.org", 994, 10, 1},
        {"c.example.org", 995, 10, 50},
        {"zero.example.org", 0, 0, 100}, // no port: not a server
    };
    const std::optional<ServiceRecord> best = preferredRecord(records);
    ASSERT_TRUE(best);
    EXPECT_EQ(best->target, "c.example.org");
    EXPECT_EQ(best->port, 995);

    const std::optional<ServiceRecord> single = preferredRecord({{"Imap.Example.org.", 993, 0, 0}});
    ASSERT_TRUE(single);
    EXPECT_EQ(single->target, "imap.example.org");
}

TEST(ServiceRecords, ARootTargetMeansNoServiceWhateverElseIsThere)
{
    for (const char *root : {".", ""}) {
        EXPECT_FALSE(preferredRecord({{root, 0, 0, 0}})) << root;
        EXPECT_FALSE(preferredRecord({{"imap.example.org", 993, 10, 0}, {root, 0, 0, 0}})) << root;
    }
}

TEST(ServiceRecords, OnlyTheDomainAndItsSubdomainsAreWithinIt)
{
    EXPECT_TRUE(isWithinDomain("example.org", "example.org"));
    EXPECT_TRUE(isWithinDomain("imap.example.org.", "Example.ORG"));
    EXPECT_FALSE(isWithinDomain("imap.evilexample.org", "example.org"));
    EXPECT_FALSE(isWithinDomain("example.org.evil.net", "example.org"));
    EXPECT_FALSE(isWithinDomain("imap.hosting.example", "example.org"));
}

TEST(DiscoveryText, FoundSettingsSayWhereTheyCameFrom)
{
    DiscoveryResult result;
    result.outcome = DiscoveryResult::Outcome::Found;
    result.address = "me@example.org";
    result.source = "from the DNS records of example.org";
    result.settings.host = "imap.example.org";
    result.settings.port = 143;
    result.settings.security = ImapSecurity::StartTls;
    result.settings.user = "me@example.org";
    result.settings.hint = "Check it.";
    EXPECT_EQ(describeResult(result),
              "Settings for me@example.org, from the DNS records of example.org:\n"
              "Server: imap.example.org\n"
              "Port: 143\n"
              "Security: STARTTLS\n"
              "User: me@example.org\n"
              "Sign-in: password\n"
              "Note: Check it.\n");

    result.settings.signIn = SignInKind::OAuth2;
    for (const auto &[provider, shown] : {std::pair{"microsoft", "OAuth 2.0 with Microsoft"},
                                          std::pair{"google", "OAuth 2.0 with Google"}}) {
        result.settings.oauthProvider = provider;
        EXPECT_TRUE(describeResult(result).contains(QStringLiteral("Sign-in: ") + shown));
    }
}

// The answers that need no network still come from the event loop, as the window expects.
TEST(SettingsFinderWithoutNetwork, AnswersFromTheListOrRefusesAnAddressLater)
{
    SettingsFinder finder;
    QSignalSpy finished(&finder, &SettingsFinder::finished);
    const struct
    {
        const char *address;
        DiscoveryResult::Outcome outcome;
        const char *text;
    } rows[] = {
        {"Me <me@GMAIL.com>", DiscoveryResult::Outcome::Found, "from the list of known providers"},
        {"me at example.org", DiscoveryResult::Outcome::NotAnAddress, "not an email address"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.address);
        finished.clear();
        finder.find(row.address);
        EXPECT_EQ(finished.count(), 0);
        ASSERT_TRUE(finished.wait(10000));
        const auto result = finished.at(0).at(0).value<DiscoveryResult>();
        EXPECT_EQ(result.outcome, row.outcome);
        EXPECT_TRUE(describeResult(result).contains(row.text)) << describeResult(result);
    }
}

} // namespace

namespace {

TEST(FoundSettingsIntoAnAccount, EveryFoundFieldIsReplacedAndAnotherProvidersSignInGoes)
{
    FoundSettings found = *knownProvider("outlook.com");
    found.user = "ann@outlook.com";

    // What a first Find settings for a Gmail address, and the person, left behind.
    MailAccount earlier;
    earlier.kind = MailAccountKind::Smtp;
    earlier.imapHost = "imap.gmail.com";
    earlier.imapUser = "bob@gmail.com";
    earlier.smtpHost = "smtp.gmail.com";
    earlier.smtpUser = "bob.sender@gmail.com";
    earlier.oauthProvider = OAuthProvider::Google;
    earlier.oauthClientId = "google-client";
    earlier.oauthClientSecret = "google-secret";
    earlier.tokenCommand = "oauth-helper bob";
    earlier.passwordCommand = "pass show mail";
    const MailAccount fresh = withFoundSettings(earlier, found);
    EXPECT_EQ(fresh.kind, MailAccountKind::Smtp) << "where messages go is the person's choice";
    EXPECT_EQ(fresh.imapHost, "outlook.office365.com");
    EXPECT_EQ(fresh.imapPort, 993);
    EXPECT_EQ(fresh.imapUser, "ann@outlook.com");
    EXPECT_EQ(fresh.smtpHost, "smtp-mail.outlook.com");
    EXPECT_EQ(fresh.smtpPort, 587);
    EXPECT_EQ(fresh.smtpSecurity, ImapSecurity::StartTls);
    EXPECT_TRUE(fresh.smtpUser.isEmpty()) << "the same user as for IMAP";
    EXPECT_EQ(fresh.imapAuth, ImapAuth::OAuth2);
    EXPECT_EQ(fresh.smtpAuth, ImapAuth::OAuth2);
    EXPECT_EQ(fresh.oauthProvider, OAuthProvider::Microsoft);
    EXPECT_TRUE(fresh.oauthClientId.isEmpty()) << fresh.oauthClientId;
    EXPECT_TRUE(fresh.oauthClientSecret.isEmpty()) << fresh.oauthClientSecret;
    EXPECT_TRUE(fresh.tokenCommand.isEmpty()) << fresh.tokenCommand;
    EXPECT_EQ(fresh.passwordCommand, "pass show mail") << "not the provider's: it stays";

    // The same provider's client is this person's own registration: it stays.
    MailAccount sameProvider = earlier;
    sameProvider.oauthProvider = OAuthProvider::Microsoft;
    sameProvider.oauthClientId = "my-microsoft-client";
    EXPECT_EQ(withFoundSettings(sameProvider, found).oauthClientId, "my-microsoft-client");

    // A server the DNS did not name is not kept from the earlier address.
    FoundSettings sendOnly;
    sendOnly.smtpHost = "out.example.org";
    sendOnly.smtpPort = 587;
    sendOnly.smtpSecurity = ImapSecurity::StartTls;
    sendOnly.user = "ann@example.org";
    const MailAccount bare = withFoundSettings(earlier, sendOnly);
    EXPECT_TRUE(bare.imapHost.isEmpty()) << bare.imapHost;
    EXPECT_EQ(bare.smtpHost, "out.example.org");
    EXPECT_EQ(bare.imapAuth, ImapAuth::Password);
    EXPECT_TRUE(bare.oauthClientId.isEmpty());
}

TEST(FoundSettingsIntoAnAccount, WithoutAClientIdAnAppPasswordIsProposedWithHowToMakeOne)
{
    for (const char *domain : {"gmail.com", "outlook.com"}) {
        SCOPED_TRACE(domain);
        const FoundSettings found = *knownProvider(domain);
        ASSERT_EQ(found.signIn, SignInKind::OAuth2);
        EXPECT_EQ(usableSettings(found, true), found);
        const FoundSettings password = usableSettings(found, false);
        EXPECT_EQ(password.signIn, SignInKind::Password);
        EXPECT_TRUE(password.oauthProvider.isEmpty());
        EXPECT_TRUE(password.hint.contains("app password")) << password.hint;
        EXPECT_TRUE(password.hint.contains(".com/")) << "where to make it: " << password.hint;
        EXPECT_EQ(withFoundSettings(MailAccount(), password).imapAuth, ImapAuth::Password);
    }
    const FoundSettings icloud = *knownProvider("icloud.com");
    EXPECT_EQ(usableSettings(icloud, false), icloud) << "a password provider keeps its words";
}

TEST(KnownProviders, SendingServersAndDocumentedLimits)
{
    const struct
    {
        const char *domain;
        const char *smtpHost;
        int smtpPort;
        ImapSecurity smtpSecurity;
        std::uint64_t limit; // 0: none documented in the list
    } rows[] = {
        {"gmail.com", "smtp.gmail.com", 465, ImapSecurity::Tls, 25'000'000},
        {"hotmail.com", "smtp-mail.outlook.com", 587, ImapSecurity::StartTls, 20'000'000},
        {"icloud.com", "smtp.mail.me.com", 587, ImapSecurity::StartTls, 20'000'000},
        {"fastmail.fm", "smtp.fastmail.com", 465, ImapSecurity::Tls, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.domain);
        const std::optional<FoundSettings> found = knownProvider(row.domain);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->smtpHost, row.smtpHost);
        EXPECT_EQ(found->smtpPort, row.smtpPort);
        EXPECT_EQ(found->smtpSecurity, row.smtpSecurity);
        EXPECT_EQ(found->sizeLimit.value_or(0), row.limit);
    }

    // An account is the provider's by its servers (a company domain at Google), or its user.
    MailAccount workspace;
    workspace.kind = MailAccountKind::Smtp;
    workspace.smtpHost = "SMTP.gmail.com";
    workspace.imapUser = "ann@company.example";
    ASSERT_TRUE(knownProviderOf(workspace));
    EXPECT_EQ(knownProviderOf(workspace)->providerName, "Gmail");
    MailAccount byUser;
    byUser.kind = MailAccountKind::Imap;
    byUser.imapUser = "Ann@iCloud.com";
    ASSERT_TRUE(knownProviderOf(byUser));
    EXPECT_EQ(knownProviderOf(byUser)->sizeLimit, 20'000'000u);
    byUser.imapUser = "ann";
    EXPECT_FALSE(knownProviderOf(byUser));
    EXPECT_EQ(providerSizeText(25'000'000), "25 MB");
}

TEST(DiscoveryText, TheOutgoingServerAndTheLimitAreListed)
{
    DiscoveryResult result;
    result.outcome = DiscoveryResult::Outcome::Found;
    result.address = "me@gmail.com";
    result.source = "from the list of known providers";
    result.settings = *knownProvider("gmail.com");
    result.settings.user = "me@gmail.com";
    const QString text = describeResult(result);
    EXPECT_TRUE(text.contains("Server: imap.gmail.com\n")) << text;
    EXPECT_TRUE(text.contains("Outgoing server: smtp.gmail.com, port 465, TLS\n")) << text;
    EXPECT_TRUE(text.contains("Largest message: 25 MB\n")) << text;
}

} // namespace

#include "mailbridge/discovery/SrvQuery.h"

namespace {

// A DNS answer as a name server sends it: the question, then SRV records for it.
class DnsAnswer
{
public:
    explicit DnsAnswer(int claimedRecords)
    {
        m_bytes = QByteArray("\x12\x34\x81\x80\x00\x01", 6);
        put16(claimedRecords);
        m_bytes.append(QByteArray(4, '\0'));
        name("_imaps._tcp.example.org");
        put16(33);
        put16(1);
    }
    // target: a name, or raw bytes of one (say a compression pointer).
    void add(const QByteArray &rawTarget, int port, int priority = 0)
    {
        m_bytes.append(char(0xc0)).append(char(12)); // the question's name
        put16(33);
        put16(1);
        m_bytes.append(QByteArray(4, 0)); // TTL
        put16(6 + int(rawTarget.size()));
        put16(priority);
        put16(0);
        put16(port);
        m_bytes.append(rawTarget);
    }
    static QByteArray encoded(const QByteArray &name)
    {
        QByteArray out;
        for (const QByteArray &label : name.split('.'))
            out.append(char(label.size())).append(label);
        return out.append('\0');
    }
    SrvAnswer read(int cut = 0) const
    {
        return readSrvAnswer(reinterpret_cast<const unsigned char *>(m_bytes.constData()),
                             int(m_bytes.size()) - cut);
    }

private:
    void name(const QByteArray &text) { m_bytes.append(encoded(text)); }
    void put16(int value) { m_bytes.append(char(value >> 8)).append(char(value & 0xff)); }
    QByteArray m_bytes;
};

TEST(SrvAnswerReader, ReadsTheRecordsUpToItsCap)
{
    DnsAnswer few(2);
    few.add(DnsAnswer::encoded("imap.example.org"), 993, 10);
    few.add(DnsAnswer::encoded("backup.example.org"), 994, 20);
    SrvAnswer answer = few.read();
    ASSERT_EQ(answer.status, SrvAnswer::Status::Records);
    ASSERT_EQ(answer.records.size(), 2u);
    EXPECT_EQ(answer.records[0].target, "imap.example.org");
    EXPECT_EQ(answer.records[0].port, 993);
    EXPECT_EQ(answer.records[1].priority, 20);

    const int many = maxServiceRecords + 6;
    DnsAnswer flood(many);
    for (int n = 0; n < many; ++n)
        flood.add(DnsAnswer::encoded("host" + QByteArray::number(n) + ".example.org"), 1000 + n);
    answer = flood.read();
    ASSERT_EQ(answer.status, SrvAnswer::Status::Records);
    EXPECT_EQ(int(answer.records.size()), maxServiceRecords);
}

TEST(SrvAnswerReader, AnAnswerThatCannotBeReadIsAFailureNotAnEmptyAnswer)
{
    DnsAnswer cut(1);
    cut.add(DnsAnswer::encoded("imap.example.org"), 993);
    EXPECT_EQ(cut.read(5).status, SrvAnswer::Status::Failed);
    DnsAnswer claimsMore(3);
    claimsMore.add(DnsAnswer::encoded("imap.example.org"), 993);
    EXPECT_EQ(claimsMore.read().status, SrvAnswer::Status::Failed);
    EXPECT_EQ(readSrvAnswer(nullptr, 0).status, SrvAnswer::Status::Failed);

    // A target that points at itself is never followed round; the record is skipped.
    DnsAnswer looping(1);
    const int targetAt =
        12 + int(DnsAnswer::encoded("_imaps._tcp.example.org").size()) + 4 + 2 + 2 + 2 + 4 + 2 + 6;
    looping.add(QByteArray(1, char(0xc0 | (targetAt >> 8))) + char(targetAt & 0xff), 993);
    EXPECT_EQ(looping.read().status, SrvAnswer::Status::NoData);
}

} // namespace
