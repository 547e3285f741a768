#include "SignedIn.h"

#include "mailbridge/MailAccount.h"
#include "mailbridge/wiring/OutboxFactory.h"
#include "mailbridge/oauth/CommandTokenSource.h"
#include "mailbridge/oauth/RefreshingTokenSource.h"
#include "mailbridge/oauth/TokenRequest.h"
#include "support/MemoryPasswordStore.h"
#include "support/MemorySettingsStore.h"
#include "support/TestTools.h"

#include <QJsonObject>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace {

using namespace std::chrono_literals;

const QString key = "imap-oauth2://me@127.0.0.1:143";

// A clock the test moves.
struct TestClock
{
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
    RefreshingTokenSource::Clock function()
    {
        return [this] { return now; };
    }
};

int refreshGrants(const AuthorizationServer &server)
{
    return server.counts().value("refresh_grants").toInt();
}

TEST(RefreshingTokenSource, RefreshesBeforeExpiryAndWhenTheServerRefusedTheToken)
{
    AuthorizationServer server({"--access-lifetime", "600"});
    auto keyring = std::make_shared<MemoryPasswordStore>();
    signedInRefreshToken(server, *keyring, key);
    TestClock clock;
    RefreshingTokenSource source(server.endpoints(), keyring, key, clock.function());

    const QString first = source.accessToken(false);
    EXPECT_TRUE(server.isActive(first));
    EXPECT_EQ(refreshGrants(server), 1);
    EXPECT_EQ(source.accessToken(false), first) << "still good: no request";
    clock.now += 530s;
    EXPECT_EQ(source.accessToken(false), first) << "more than a minute left";
    EXPECT_EQ(refreshGrants(server), 1);

    clock.now += 20s; // under a minute left: a new one before it runs out
    const QString second = source.accessToken(false);
    EXPECT_NE(second, first);
    EXPECT_TRUE(server.isActive(second));
    EXPECT_EQ(refreshGrants(server), 2);

    // The server refused it (say it was expired early): a new one at once, no prompt.
    server.post("/test/expire-access", {});
    EXPECT_FALSE(server.isActive(second));
    const QString third = source.accessToken(true);
    EXPECT_NE(third, second);
    EXPECT_TRUE(server.isActive(third));
    EXPECT_EQ(refreshGrants(server), 3);
}

TEST(RefreshingTokenSource, ARotatedRefreshTokenReplacesTheKeptOne)
{
    AuthorizationServer server({"--rotate"});
    auto keyring = std::make_shared<MemoryPasswordStore>();
    const QString signedIn = signedInRefreshToken(server, *keyring, key);
    RefreshingTokenSource source(server.endpoints(), keyring, key);
    source.accessToken(false);
    const QString kept = keyring->passwords.value(key);
    EXPECT_NE(kept, signedIn);
    EXPECT_TRUE(kept.startsWith("rt-"));
    // The next run of the program, with what the keyring now holds.
    RefreshingTokenSource later(server.endpoints(), keyring, key);
    EXPECT_FALSE(later.accessToken(false).isEmpty());
}

TEST(RefreshingTokenSource, ARevokedOrMissingSignInAsksToSignInAgainWithoutTheToken)
{
    AuthorizationServer server;
    auto keyring = std::make_shared<MemoryPasswordStore>();
    const QString refreshToken = signedInRefreshToken(server, *keyring, key);
    server.revoke(refreshToken);

    RefreshingTokenSource source(server.endpoints(), keyring, key);
    const QString revoked = failureOf([&] { source.accessToken(false); });
    EXPECT_TRUE(revoked.startsWith("Sign in again in the Mail account window")) << revoked;
    EXPECT_FALSE(revoked.contains(refreshToken));

    RefreshingTokenSource nobody(server.endpoints(), std::make_shared<MemoryPasswordStore>(), key);
    EXPECT_EQ(failureOf([&] { nobody.accessToken(false); }), signInAgainText());
}

TEST(RefreshingTokenSource, AnUnreachableOrRefusingServerIsNamed)
{
    auto keyring = std::make_shared<MemoryPasswordStore>();
    keyring->write(key, "rt-whatever");
    OAuthEndpoints endpoints;
    endpoints.clientId = "ferrymail-tests";
    {
        AuthorizationServer gone;
        endpoints.tokenUrl = gone.url("/token");
    }
    RefreshingTokenSource unreachable(endpoints, keyring, key);
    const QString failure = failureOf([&] { unreachable.accessToken(false); });
    EXPECT_TRUE(failure.contains("Could not reach the sign-in server 127.0.0.1")) << failure;

    AuthorizationServer server;
    endpoints = server.endpoints();
    endpoints.clientId = "someone-else";
    RefreshingTokenSource refused(endpoints, keyring, key);
    const QString refusal = failureOf([&] { refused.accessToken(false); });
    EXPECT_TRUE(refusal.contains("refused the token request: invalid_client")) << refusal;
    EXPECT_FALSE(refusal.contains("rt-whatever"));
}

TEST(CommandTokenSource, RunsOnceAndAgainOnlyWhenTheServerRefusedTheToken)
{
    QTemporaryDir folder;
    const QString runs = folder.filePath("runs");
    CommandTokenSource source(QString("echo run >> '%1'; printf 'tok-%s\\nignored\\n' "
                                      "$(wc -l < '%1')")
                                  .arg(runs));
    EXPECT_EQ(source.accessToken(false), "tok-1");
    EXPECT_EQ(source.accessToken(false), "tok-1");
    EXPECT_EQ(source.accessToken(true), "tok-2");

    CommandTokenSource failing("echo 'no token for you' >&2; exit 3");
    const QString failure = failureOf([&] { failing.accessToken(false); });
    EXPECT_TRUE(failure.startsWith("The token command")) << failure;
    EXPECT_TRUE(failure.contains("exit status 3: no token for you")) << failure;
}

class OAuthOutboxFactory : public testing::Test
{
protected:
    void SetUp() override
    {
        settings.values = {{"MailClient/Kind", "imap"},
                           {"MailClient/ImapHost", "127.0.0.1"},
                           {"MailClient/ImapPort", "143"},
                           {"MailClient/ImapSecurity", "none"},
                           {"MailClient/ImapUser", "me"},
                           {"MailClient/ImapAuth", "oauth2"},
                           {"MailClient/OAuth2Provider", "custom"},
                           {"MailClient/OAuth2ClientId", AuthorizationServer::clientId()},
                           {"MailClient/OAuth2AuthorizeUrl", server.url("/authorize").toString()},
                           {"MailClient/OAuth2TokenUrl", server.url("/token").toString()}};
        EXPECT_EQ(oauthTokenKey(readMailAccount(settings)), key);
    }

    AuthorizationServer server;
    MemorySettingsStore settings;
    std::shared_ptr<MemoryPasswordStore> keyring = std::make_shared<MemoryPasswordStore>();
};

TEST_F(OAuthOutboxFactory, ARevokedSignInStopsTheSendBeforeAnOutboxIsMade)
{
    const QString refreshToken = signedInRefreshToken(server, *keyring, key);
    server.revoke(refreshToken);
    const QString failure = failureOf([&] { createOutbox(settings, std::nullopt, keyring); });
    EXPECT_TRUE(failure.startsWith("Sign in again in the Mail account window")) << failure;
    EXPECT_EQ(refreshGrants(server), 0);

    // Without a keyring (a caller that has none) the same words, not a crash.
    EXPECT_EQ(failureOf([&] { createOutbox(settings); }), signInAgainText());
}

TEST_F(OAuthOutboxFactory, TheFirstTokenIsFetchedWhenTheOutboxIsMade)
{
    signedInRefreshToken(server, *keyring, key);
    try {
        createOutbox(settings, std::nullopt, keyring);
    } catch (const Failure &) {
        // A build whose IMAP outbox cannot log in with tokens yet says so; the token was
        // fetched all the same.
    }
    EXPECT_EQ(refreshGrants(server), 1);

    // TokenCommand wins over the kept sign-in, and a failing one stops the Send.
    settings.values["MailClient/TokenCommand"] = "exit 4";
    const QString failure = failureOf([&] { createOutbox(settings, std::nullopt, keyring); });
    EXPECT_TRUE(failure.contains("The token command \"exit 4\" failed")) << failure;
    EXPECT_EQ(refreshGrants(server), 1);
}

TEST_F(OAuthOutboxFactory, NoTokenReachesTheSettingsTheEnvironmentOrAFailure)
{
    const QString refreshToken = signedInRefreshToken(server, *keyring, key);
    RefreshingTokenSource source(server.endpoints(), keyring, key);
    const QString accessToken = source.accessToken(false);
    writeMailAccount(settings, readMailAccount(settings));
    for (const QString &value : settings.values) {
        EXPECT_FALSE(value.contains(refreshToken));
        EXPECT_FALSE(value.contains(accessToken));
    }
    const QString environment = QProcessEnvironment::systemEnvironment().toStringList().join('\n');
    EXPECT_FALSE(environment.contains(refreshToken));
    EXPECT_FALSE(environment.contains(accessToken));
    server.revoke(refreshToken);
    const QString failure = failureOf([&] { createOutbox(settings, std::nullopt, keyring); });
    EXPECT_FALSE(failure.isEmpty());
    EXPECT_FALSE(failure.contains(refreshToken));
    EXPECT_FALSE(failure.contains("rt-"));
}

} // namespace
