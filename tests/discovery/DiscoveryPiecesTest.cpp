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
    result.settings = {"imap.example.org",   143, ImapSecurity::StartTls,
                       SignInKind::Password, {},  "me@example.org",
                       "Check it."};
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

TEST(FoundSettingsIntoAnAccount, TheServerAndSignInChangeAndATypedUserStays)
{
    FoundSettings found;
    found.host = "outlook.office365.com";
    found.security = ImapSecurity::Tls;
    found.port = 993;
    found.signIn = SignInKind::OAuth2;
    found.oauthProvider = "microsoft";
    found.user = "ann@outlook.com";

    MailAccount typed;
    typed.imapHost = "old.example.org";
    typed.imapSecurity = ImapSecurity::StartTls;
    typed.imapPort = 143;
    typed.oauthProvider = OAuthProvider::Google;
    typed.passwordCommand = "pass show mail";
    const MailAccount fresh = withFoundSettings(typed, found);
    EXPECT_EQ(fresh.kind, MailAccountKind::Imap);
    EXPECT_EQ(fresh.imapHost, "outlook.office365.com");
    EXPECT_EQ(fresh.imapSecurity, ImapSecurity::Tls);
    EXPECT_EQ(fresh.imapPort, 993);
    EXPECT_EQ(fresh.imapUser, "ann@outlook.com") << "an empty user takes the address";
    EXPECT_EQ(fresh.imapAuth, ImapAuth::OAuth2);
    EXPECT_EQ(fresh.oauthProvider, OAuthProvider::Microsoft);
    EXPECT_EQ(fresh.passwordCommand, "pass show mail") << "what was not found stays";

    typed.imapUser = "ann.other";
    found.signIn = SignInKind::Password;
    found.oauthProvider.clear();
    const MailAccount kept = withFoundSettings(typed, found);
    EXPECT_EQ(kept.imapUser, "ann.other");
    EXPECT_EQ(kept.imapAuth, ImapAuth::Password);
    EXPECT_EQ(kept.oauthProvider, OAuthProvider::Google);
}

} // namespace
