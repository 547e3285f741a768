#include "SignedIn.h"

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

TEST(OAuthSignIn, AnAnswerWithAnotherStateIsRefusedAndNoCodeExchanged)
{
    AuthorizationServer server;
    MemoryPasswordStore keyring;
    PlayedBrowser browser("me", QString("forged-state"));
    const SignInOutcome outcome = signIn(server, keyring, key, browser);

    EXPECT_FALSE(outcome.signedIn);
    EXPECT_TRUE(outcome.failure.contains("did not belong to this sign-in")) << outcome.failure;
    EXPECT_TRUE(outcome.browserSaw.contains("does not belong")) << outcome.browserSaw;
    EXPECT_TRUE(outcome.browserSaw.contains("second request: refused")) << outcome.browserSaw;
    const QJsonObject counts = server.counts();
    EXPECT_EQ(counts.value("code_grants").toInt(), 0);
    EXPECT_EQ(counts.value("refused").toInt(), 0) << "no token request was made at all";
    EXPECT_TRUE(keyring.passwords.isEmpty());
}

TEST(OAuthSignIn, ARefusedConsentOrABrowserThatCannotStartSaysSo)
{
    AuthorizationServer server;
    MemoryPasswordStore keyring;
    {
        OAuthSignIn signIn(server.endpoints(), keyring, key, [](const QUrl &) { return false; });
        const QString failure = failureOf([&] { signIn.start(); });
        EXPECT_TRUE(failure.contains("No web browser could be started")) << failure;
        EXPECT_TRUE(failure.contains(server.url("/authorize").toString())) << failure;
    }
    // The provider sends the person back with an error instead of a code.
    QUrl redirect;
    OAuthSignIn signIn(server.endpoints(), keyring, key, [&redirect](const QUrl &url) {
        redirect = QUrl(QUrlQuery(url).queryItemValue("redirect_uri", QUrl::FullyDecoded));
        QUrlQuery answer;
        answer.addQueryItem("state", QUrlQuery(url).queryItemValue("state"));
        answer.addQueryItem("error", "access_denied");
        answer.addQueryItem("error_description", "The%20user%20said%20no");
        redirect.setQuery(answer);
        return true;
    });
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

TEST(LoopbackListener, TakesOneRequestAndRefusesWhatIsNotAWebRequest)
{
    const struct
    {
        QByteArray request;
        bool handled;
        const char *says;
    } rows[] = {
        {"GET /?code=c&state=s HTTP/1.1\r\nHost: x\r\n\r\n", true, "HTTP/1.1 200 OK"},
        {"POST /?code=c HTTP/1.1\r\n\r\n", false, "HTTP/1.1 400"},
        {"HELLO\r\n\r\n", false, "HTTP/1.1 400"},
        {"GET /" + QByteArray(20'000, 'a'), false, "HTTP/1.1 431"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.request.left(30).toStdString());
        QUrlQuery handled;
        bool called = false;
        LoopbackListener listener([&](const QUrlQuery &query) {
            called = true;
            handled = query;
            return QString("Done <here>");
        });
        QSignalSpy failed(&listener, &LoopbackListener::failed);
        listener.listen();
        const quint16 port = quint16(listener.redirectUri().port());
        EXPECT_EQ(listener.redirectUri().host(), "127.0.0.1");

        QTcpSocket first;
        first.connectToHost("127.0.0.1", port);
        ASSERT_TRUE(first.waitForConnected(5000));
        first.write(row.request);
        // The listener answers from this thread's event loop: turn it while waiting.
        QByteArray answer;
        QElapsedTimer waited;
        waited.start();
        while (first.state() == QAbstractSocket::ConnectedState && waited.elapsed() < 5000) {
            QTest::qWait(10);
            answer += first.readAll();
        }
        answer += first.readAll();
        EXPECT_TRUE(answer.startsWith(row.says)) << answer.left(80).toStdString();
        EXPECT_EQ(called, row.handled);
        EXPECT_EQ(failed.isEmpty(), row.handled);
        if (row.handled) {
            EXPECT_EQ(handled.queryItemValue("code"), "c");
            EXPECT_TRUE(answer.contains("Done &lt;here&gt;")) << "the sentence is escaped";
            EXPECT_TRUE(answer.contains("You may close this page"));
        }

        QTcpSocket second;
        second.connectToHost("127.0.0.1", port);
        EXPECT_FALSE(second.waitForConnected(2000)) << "the port refuses a second request";
        EXPECT_FALSE(listener.isListening());
    }
}

// A browser resolves localhost to 127.0.0.1 or ::1, whichever it likes; both must lead here,
// and after the one request neither may.
TEST(LoopbackListener, NamedLocalhostItAnswersOnBothLoopbacksOnce)
{
    int calls = 0;
    LoopbackListener listener(
        [&](const QUrlQuery &) {
            ++calls;
            return QString("Done");
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
