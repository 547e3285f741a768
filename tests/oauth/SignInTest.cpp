#include "SignedIn.h"

#include "common/Failure.h"
#include "mailbridge/oauth/GrantOwner.h"
#include "mailbridge/oauth/LoopbackListener.h"
#include "mailbridge/oauth/Pkce.h"
#include "support/MemoryPasswordStore.h"
#include "support/TestTools.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>

namespace {

const QString key = "imap-oauth2://me@127.0.0.1:143";

TEST(OAuthSignIn, CodeWithPkceBecomesARefreshTokenInTheKeyringOnly)
{
    AuthorizationServer server;
    MemoryPasswordStore keyring;
    PlayedBrowser browser("me");
    const SignInOutcome outcome = signIn(server, keyring, key, browser);

    ASSERT_TRUE(outcome.signedIn) << outcome.failure << outcome.browserSaw;
    // The server checked the verifier against the challenge: a wrong one gets no tokens.
    EXPECT_EQ(server.counts().value("code_grants").toInt(), 1);
    const QString refreshToken = keyring.passwords.value(key);
    EXPECT_TRUE(refreshToken.startsWith("rt-")) << refreshToken;
    EXPECT_EQ(keyring.passwords.size(), 1) << "the access token is not kept";

    const QUrlQuery asked(outcome.authorizeUrl);
    EXPECT_EQ(asked.queryItemValue("code_challenge_method"), "S256");
    EXPECT_EQ(asked.queryItemValue("response_type"), "code");
    EXPECT_TRUE(asked.queryItemValue("redirect_uri").startsWith("http://127.0.0.1:"));
    EXPECT_GE(asked.queryItemValue("state").size(), 32) << "a state nobody can guess";

    EXPECT_TRUE(outcome.browserSaw.contains("listener: 200")) << outcome.browserSaw;
    EXPECT_TRUE(outcome.browserSaw.contains("You may close this page")) << outcome.browserSaw;
    EXPECT_TRUE(outcome.browserSaw.contains("second request: refused")) << outcome.browserSaw;
    EXPECT_FALSE(outcome.browserSaw.contains(refreshToken)) << "no token on the page";
}

// Microsoft's way: the redirect names localhost, and the browser reaches the listener by
// whichever loopback address the name gives it.
TEST(OAuthSignIn, ARedirectToLocalhostSignsInAsWell)
{
    AuthorizationServer server;
    MemoryPasswordStore keyring;
    PlayedBrowser browser("me");
    const SignInOutcome outcome = signIn(server, keyring, key, browser, true);
    ASSERT_TRUE(outcome.signedIn) << outcome.failure << outcome.browserSaw;
    EXPECT_TRUE(QUrlQuery(outcome.authorizeUrl)
                    .queryItemValue("redirect_uri", QUrl::FullyDecoded)
                    .startsWith("http://localhost:"));
    EXPECT_TRUE(keyring.passwords.value(key).startsWith("rt-"));
    EXPECT_TRUE(outcome.browserSaw.contains("second request: refused")) << outcome.browserSaw;
}

TEST(OAuthSignIn, AnAnswerWithAnotherStateIsTurnedAwayAndTheRealOneStillAwaited)
{
    AuthorizationServer server;
    MemoryPasswordStore keyring;
    PlayedBrowser browser("me", QString("forged-state"));
    const SignInOutcome outcome =
        signIn(server, keyring, key, browser, false, "me", std::chrono::seconds(3));

    EXPECT_FALSE(outcome.signedIn);
    EXPECT_TRUE(outcome.failure.contains("not completed in the browser in time"))
        << outcome.failure;
    EXPECT_TRUE(outcome.browserSaw.contains("listener: 400")) << outcome.browserSaw;
    EXPECT_TRUE(outcome.browserSaw.contains("does not belong")) << outcome.browserSaw;
    EXPECT_TRUE(outcome.browserSaw.contains("second request: answered")) << outcome.browserSaw;
    const QJsonObject counts = server.counts();
    EXPECT_EQ(counts.value("code_grants").toInt(), 0);
    EXPECT_EQ(counts.value("refused").toInt(), 0) << "no token request was made at all";
    EXPECT_TRUE(keyring.passwords.isEmpty());
}

// The browser's command line shows only the listener's own page; the state stays here.
TEST(OAuthSignIn, TheBrowserIsGivenNoStateAndTheStartPageServesOnce)
{
    AuthorizationServer server;
    MemoryPasswordStore keyring;
    QList<QUrl> opened;
    OAuthSignIn signIn(server.endpoints(), keyring, key, "me", [&opened](const QUrl &url) {
        opened << url;
        return true;
    });
    QSignalSpy failed(&signIn, &OAuthSignIn::failed);
    signIn.start();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].host(), "127.0.0.1");
    EXPECT_FALSE(
        opened[0].toString().contains(QUrlQuery(signIn.authorizeUrl()).queryItemValue("state")));
    EXPECT_FALSE(opened[0].hasQuery());

    const auto get = [](const QUrl &url) {
        QTcpSocket browser;
        browser.connectToHost("127.0.0.1", quint16(url.port()));
        EXPECT_TRUE(browser.waitForConnected(5000));
        browser.write("GET " + url.path().toLatin1() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QByteArray answer;
        QElapsedTimer waited;
        waited.start();
        while (browser.state() == QAbstractSocket::ConnectedState && waited.elapsed() < 5000) {
            QTest::qWait(10);
            answer += browser.readAll();
        }
        return answer + browser.readAll();
    };
    const QByteArray first = get(opened[0]);
    EXPECT_TRUE(first.startsWith("HTTP/1.1 302")) << first.left(80).toStdString();
    EXPECT_TRUE(first.contains("Location: " + signIn.authorizeUrl().toEncoded()));
    // A second reader may be another user's program: the sign-in ends, nothing kept.
    const QByteArray second = get(opened[0]);
    EXPECT_TRUE(second.startsWith("HTTP/1.1 400")) << second.left(80).toStdString();
    ASSERT_EQ(failed.size(), 1);
    EXPECT_TRUE(failed.first().first().toString().contains("opened twice"));
    EXPECT_TRUE(keyring.passwords.isEmpty());
}

// Another local user finishes the sign-in with their own account: the grant is theirs, and
// must not be kept as the account user's.
TEST(OAuthSignIn, AGrantForSomeoneElseIsRefusedAndNothingKept)
{
    AuthorizationServer server;
    MemoryPasswordStore keyring;
    PlayedBrowser browser("mallory");
    const SignInOutcome outcome = signIn(server, keyring, key, browser, false, "me");
    EXPECT_FALSE(outcome.signedIn);
    EXPECT_TRUE(outcome.failure.contains("made as mallory, not as me")) << outcome.failure;
    EXPECT_TRUE(keyring.passwords.isEmpty());

    // Names compare without regard to case.
    PlayedBrowser same("Me");
    EXPECT_TRUE(signIn(server, keyring, key, same, false, "me").signedIn);
}

// A provider that names nobody: a login as the account's user decides.
TEST(OAuthSignIn, WithoutAnIdTokenATestLoginDecides)
{
    AuthorizationServer server;
    OAuthEndpoints endpoints = server.endpoints();
    endpoints.scope = "imap offline_access";
    for (const bool loginWorks : {true, false}) {
        SCOPED_TRACE(loginWorks);
        MemoryPasswordStore keyring;
        PlayedBrowser browser("me");
        QString triedWith;
        const SignInOutcome outcome =
            signIn(server, keyring, key, browser, false, "me", std::chrono::seconds(60), endpoints,
                   [&triedWith, loginWorks](const QString &token, const std::function<bool()> &) {
                       triedWith = token;
                       if (!loginWorks)
                           throw Failure("AUTHENTICATE failed");
                   });
        EXPECT_TRUE(triedWith.startsWith("at-")) << triedWith;
        EXPECT_EQ(outcome.signedIn, loginWorks) << outcome.failure;
        EXPECT_EQ(keyring.passwords.contains(key), loginWorks);
        if (!loginWorks) {
            EXPECT_TRUE(outcome.failure.contains("could not log in as me")) << outcome.failure;
        }
    }
    // Without an ID token nor a way to log in, nothing unchecked is kept.
    MemoryPasswordStore keyring;
    PlayedBrowser browser("me");
    const SignInOutcome outcome =
        signIn(server, keyring, key, browser, false, "me", std::chrono::seconds(60), endpoints);
    EXPECT_FALSE(outcome.signedIn);
    EXPECT_TRUE(keyring.passwords.isEmpty());
}

TEST(GrantOwner, IdTokenNamesAreReadFromItsPayloadOnly)
{
    const auto part = [](const char *json) {
        return QByteArray(json).toBase64(QByteArray::Base64UrlEncoding |
                                         QByteArray::OmitTrailingEquals);
    };
    EXPECT_EQ(idTokenNames(part("{}") + "." + part(R"({"email":"a@b","preferred_username":"c"})") +
                           ".sig"),
              QStringList({"a@b", "c"}));
    EXPECT_TRUE(idTokenNames("not-a-token").isEmpty());
    EXPECT_TRUE(idTokenNames("a.%%%.c").isEmpty());
    EXPECT_TRUE(idTokenNames("a." + part("[1]") + ".c").isEmpty());
    // A name with escapes is shown escaped.
    TokenGrant grant;
    grant.idToken = part("{}") + "." + part(R"({"email":"x[2Ky"})") + ".s";
    const QString failure = failureOf([&] { checkGrantOwner(grant, "me", {}, {}); });
    EXPECT_TRUE(failure.contains("x\\x1b[2Ky")) << failure;
}

TEST(OAuthSignIn, ARefusedConsentOrABrowserThatCannotStartSaysSo)
{
    AuthorizationServer server;
    MemoryPasswordStore keyring;
    {
        OAuthSignIn signIn(server.endpoints(), keyring, key, "me",
                           [](const QUrl &) { return false; });
        const QString failure = failureOf([&] { signIn.start(); });
        EXPECT_TRUE(failure.contains("No web browser could be started")) << failure;
        EXPECT_TRUE(failure.contains(signIn.startUrl().toString())) << failure;
    }
    // The provider sends the person back with an error instead of a code.
    QUrl redirect;
    OAuthSignIn *started = nullptr;
    OAuthSignIn signIn(server.endpoints(), keyring, key, "me", [&](const QUrl &) {
        const QUrl url = started->authorizeUrl();
        redirect = QUrl(QUrlQuery(url).queryItemValue("redirect_uri", QUrl::FullyDecoded));
        QUrlQuery answer;
        answer.addQueryItem("state", QUrlQuery(url).queryItemValue("state"));
        answer.addQueryItem("error", "access_denied");
        answer.addQueryItem("error_description", "The%20user%20said%20no");
        redirect.setQuery(answer);
        return true;
    });
    started = &signIn;
    QSignalSpy failed(&signIn, &OAuthSignIn::failed);
    signIn.start();
    QTcpSocket browser;
    browser.connectToHost("127.0.0.1", quint16(redirect.port()));
    ASSERT_TRUE(browser.waitForConnected(5000));
    browser.write("GET /?" + redirect.query(QUrl::FullyEncoded).toLatin1() +
                  " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_TRUE(failed.first().first().toString().contains("The user said no"));
    EXPECT_TRUE(keyring.passwords.isEmpty());
}

namespace {

// Sends request (nothing when empty) and reads the answer until the listener closes.
QByteArray exchangeWith(quint16 port, const QByteArray &request, bool closeAfterSending = false)
{
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", port);
    EXPECT_TRUE(socket.waitForConnected(5000));
    socket.write(request);
    if (closeAfterSending) {
        socket.flush();
        socket.disconnectFromHost();
        QTest::qWait(50);
        return {};
    }
    // The listener answers from this thread's event loop: turn it while waiting.
    QByteArray answer;
    QElapsedTimer waited;
    waited.start();
    while (socket.state() == QAbstractSocket::ConnectedState && waited.elapsed() < 10'000) {
        QTest::qWait(10);
        answer += socket.readAll();
    }
    return answer + socket.readAll();
}

} // namespace

// Any local program can reach the port: what is not the awaited answer gets an error page,
// and the listener keeps waiting for the one that is.
TEST(LoopbackListener, TurnsAwayStrangersAndWaitsForTheAwaitedRequest)
{
    int calls = 0;
    LoopbackListener listener([&](const QString &path, const QUrlQuery &query) {
        ++calls;
        if (query.queryItemValue("state") != "s")
            return ListenerAnswer{400, "Not yours <b>", {}, false};
        EXPECT_EQ(path, "/");
        return ListenerAnswer{200, "Done <here>", {}, true};
    });
    listener.setSilence(std::chrono::milliseconds(300));
    listener.listen();
    const quint16 port = quint16(listener.redirectUri().port());
    EXPECT_EQ(listener.redirectUri().host(), "127.0.0.1");

    const struct
    {
        QByteArray request;
        const char *says;
    } strangers[] = {
        {"POST /?code=c&state=s HTTP/1.1\r\n\r\n", "HTTP/1.1 405"},
        {"HELLO\r\n\r\n", "HTTP/1.1 400"},
        {"GET /" + QByteArray(20'000, 'a'), "HTTP/1.1 431"},
        {"GET /?code=c&state=wrong HTTP/1.1\r\n\r\n", "HTTP/1.1 400"},
        {"", "HTTP/1.1 408"},             // connects and says nothing
        {"GET /?code=c", "HTTP/1.1 408"}, // starts and goes silent
    };
    for (const auto &row : strangers) {
        SCOPED_TRACE(row.request.left(30).toStdString());
        const QByteArray answer = exchangeWith(port, row.request);
        EXPECT_TRUE(answer.startsWith(row.says)) << answer.left(80).toStdString();
        EXPECT_TRUE(answer.contains("You may close this page"));
        EXPECT_FALSE(answer.contains("<b>")) << "the sentence is escaped";
        EXPECT_TRUE(listener.isListening());
    }
    // One that connects and leaves without a word changes nothing either.
    exchangeWith(port, "", true);
    exchangeWith(port, "GET /?co", true);
    QTest::qWait(500);
    EXPECT_TRUE(listener.isListening());
    EXPECT_EQ(calls, 1);

    const QByteArray answer =
        exchangeWith(port, "GET /?code=c&state=s HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 200 OK")) << answer.left(80).toStdString();
    EXPECT_TRUE(answer.contains("Done &lt;here&gt;"));
    EXPECT_EQ(calls, 2);
    QTcpSocket after;
    after.connectToHost("127.0.0.1", port);
    EXPECT_FALSE(after.waitForConnected(2000)) << "the port refuses once the answer came";
    EXPECT_FALSE(listener.isListening());
}

// A browser resolves localhost to 127.0.0.1 or ::1, whichever it likes; both must lead here,
// and after the one request neither may.
TEST(LoopbackListener, NamedLocalhostItAnswersOnBothLoopbacksOnce)
{
    int calls = 0;
    LoopbackListener listener(
        [&](const QString &, const QUrlQuery &) {
            ++calls;
            return ListenerAnswer{200, "Done", {}, true};
        },
        LoopbackName::Localhost);
    listener.listen();
    const QUrl redirect = listener.redirectUri();
    EXPECT_EQ(redirect.host(), "localhost");
    EXPECT_EQ(redirect.path(), "/");
    const quint16 port = quint16(redirect.port());

    QTcpSocket probe;
    probe.bind(QHostAddress::LocalHostIPv6, 0);
    const bool hasIpv6 = probe.state() == QAbstractSocket::BoundState;
    probe.close();
    const QHostAddress first = hasIpv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost;

    QTcpSocket browser;
    browser.connectToHost(first, port);
    ASSERT_TRUE(browser.waitForConnected(5000)) << first.toString().toStdString();
    browser.write("GET /?code=c HTTP/1.1\r\nHost: localhost\r\n\r\n");
    QByteArray answer;
    QElapsedTimer waited;
    waited.start();
    while (browser.state() == QAbstractSocket::ConnectedState && waited.elapsed() < 5000) {
        QTest::qWait(10);
        answer += browser.readAll();
    }
    answer += browser.readAll();
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 200 OK")) << answer.left(80).toStdString();
    EXPECT_EQ(calls, 1);

    for (const QHostAddress &address :
         {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)}) {
        QTcpSocket second;
        second.connectToHost(address, port);
        EXPECT_FALSE(second.waitForConnected(2000)) << address.toString().toStdString();
    }
    EXPECT_FALSE(listener.isListening());
}

TEST(Pkce, VerifiersAreLongUnguessableAndTheChallengeIsTheirHash)
{
    const Pkce one = makePkce();
    const Pkce two = makePkce();
    EXPECT_NE(one.verifier, two.verifier);
    // RFC 7636: 43 to 128 characters of the unreserved set.
    EXPECT_GE(one.verifier.size(), 43);
    EXPECT_LE(one.verifier.size(), 128);
    for (const char c : one.verifier)
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ||
                    c == '.' || c == '~')
            << c;
    EXPECT_EQ(one.challenge, pkceChallenge(one.verifier));
    // As python3 -c "hashlib.sha256 ... urlsafe_b64encode" computes it.
    EXPECT_EQ(pkceChallenge("dBjftJeZ4CVP-mJ92K9qJ2tDSVkMSEzuVJcBLgeLRjHs"),
              QByteArray("dWKbuAoGordBYmRjQB6C6iKP6Q2IVpJ9m4PzHbKpBOY"));
}

} // namespace
