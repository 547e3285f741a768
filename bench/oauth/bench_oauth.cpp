// One Send of 100 small drafts into a Dovecot of the benchmark's own over TLS on loopback,
// logging in with an OAuth 2.0 token (the oauth2 passdb asks the tests' authorization server)
// against the same Send logging in with a password, in one run. The last line is the ratio
// OAuth/password of the wall times (target <= 1.1); the OAuth time includes the sign-in
// kept in the keyring being turned into an access token.
//
// bench_oauth [--drafts N] [--rounds N]   (defaults: 100 drafts, 3 rounds, alternating)

#include "DovecotServer.h"
#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapOutbox.h"
#include "mailbridge/oauth/OAuthSignIn.h"
#include "mailbridge/oauth/RefreshingTokenSource.h"
#include "mailbridge/wiring/TokenSources.h"
#include "support/MemoryPasswordStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

namespace {

const QString keyringKey = QStringLiteral("imap-oauth2://drafter@127.0.0.1");

// The tests' authorization server, for as long as the object lives.
class AuthorizationServer
{
public:
    AuthorizationServer()
    {
        m_process.start(QStringLiteral("python3"),
                        {QStringLiteral(OAUTH_SUPPORT_DIR "/authorization_server.py")});
        while (!m_process.canReadLine() && m_process.waitForReadyRead(10'000)) {
        }
        m_port = m_process.readLine().trimmed().toInt();
        if (m_port <= 0)
            throw Failure(QStringLiteral("The authorization server did not start."));
    }
    ~AuthorizationServer()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5'000))
            m_process.kill();
        m_process.waitForFinished(5'000);
    }
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
    }
    OAuthEndpoints endpoints() const
    {
        return {url(QStringLiteral("/authorize")),
                url(QStringLiteral("/token")),
                QStringLiteral("imap openid"),
                QStringLiteral("ferrymail-tests"),
                QString(),
                {}};
    }

private:
    QProcess m_process;
    int m_port = 0;
};

// Signs in once, with the browser the tests play; the refresh token lands in keyring.
void signIn(const AuthorizationServer &server, PasswordStore &keyring)
{
    QProcess browser;
    OAuthSignIn signIn(server.endpoints(), keyring, keyringKey, QString(DovecotServer::user),
                       [&browser](const QUrl &url) {
                           browser.start(QStringLiteral("python3"),
                                         {QStringLiteral(OAUTH_SUPPORT_DIR "/play_browser.py"),
                                          url.toString(QUrl::FullyEncoded),
                                          QString(DovecotServer::user)});
                           return browser.waitForStarted();
                       });
    QString failure;
    QEventLoop loop;
    QObject::connect(&signIn, &OAuthSignIn::signedIn, &loop, &QEventLoop::quit);
    QObject::connect(&signIn, &OAuthSignIn::failed, &loop, [&](const QString &reason) {
        failure = reason;
        loop.quit();
    });
    QTimer::singleShot(60'000, &loop, &QEventLoop::quit);
    signIn.start();
    loop.exec();
    browser.waitForFinished(10'000);
    if (!keyring.read(keyringKey))
        throw Failure(QStringLiteral("The sign-in failed: %1").arg(failure));
}

DovecotOptions tokenLogins(const AuthorizationServer &server, const QTemporaryDir &folder)
{
    const QString settings = folder.filePath(QStringLiteral("oauth2.conf.ext"));
    QFile file(settings);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(QStringLiteral("Cannot write %1").arg(settings));
    file.write(QStringLiteral("introspection_mode = post\nintrospection_url = %1\n"
                              "username_attribute = username\nactive_attribute = active\n"
                              "active_value = true\n")
                   .arg(server.url(QStringLiteral("/introspect")).toString())
                   .toUtf8());
    file.close();
    ::chmod(QFile::encodeName(folder.path()).constData(), 0755);
    ::chmod(QFile::encodeName(settings).constData(), 0644);
    DovecotOptions options;
    options.extraConfiguration =
        QStringLiteral("auth_mechanisms = plain login xoauth2 oauthbearer\npassdb {\n  driver = "
                       "oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = %1\n}\n")
            .arg(settings);
    return options;
}

double sendDrafts(Outbox &outbox, int count, const QString &attachment)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        Draft draft;
        draft.to = QStringLiteral("ann@example.org");
        draft.from = QStringLiteral("me@example.org");
        draft.subject = QStringLiteral("Draft %1").arg(i);
        draft.attachmentPaths << attachment;
        outbox.file(draft, TransferMonitor::none());
    }
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int drafts = 100;
    int rounds = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--drafts"))
            drafts = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--rounds"))
            rounds = args[i + 1].toInt();
    }
    try {
        AuthorizationServer server;
        QTemporaryDir folder;
        DovecotServer dovecot(tokenLogins(server, folder));
        auto keyring = std::make_shared<MemoryPasswordStore>();
        signIn(server, *keyring);

        const QString attachment = folder.filePath(QStringLiteral("small.txt"));
        QFile small(attachment);
        if (!small.open(QIODevice::WriteOnly) || small.write(QByteArray(2048, 'x')) != 2048)
            throw Failure(QStringLiteral("Cannot write %1").arg(attachment));
        small.close();

        ImapEndpoint endpoint;
        endpoint.host = QStringLiteral("127.0.0.1");
        endpoint.port = dovecot.imapsPort();
        endpoint.caFile = dovecot.caFile();
        endpoint.user = DovecotServer::user;

        double password = 1e9;
        double oauth = 1e9;
        for (int round = 0; round < rounds; ++round) {
            {
                ImapOutbox outbox(endpoint, QString(DovecotServer::password));
                password = std::min(password, sendDrafts(outbox, drafts, attachment));
            }
            {
                QElapsedTimer timer;
                timer.start();
                auto source = std::make_shared<RefreshingTokenSource>(server.endpoints(), keyring,
                                                                      keyringKey);
                source->accessToken(false);
                const auto outbox = createOAuthImapOutbox(endpoint, source);
                const double made = timer.nsecsElapsed() / 1e9;
                oauth = std::min(oauth, made + sendDrafts(*outbox, drafts, attachment));
            }
            std::printf("round %d: password %.3f s, OAuth %.3f s (best so far)\n", round + 1,
                        password, oauth);
        }
        std::printf("%d drafts: password %.3f s, OAuth %.3f s\n", drafts, password, oauth);
        std::printf("ratio OAuth/password: %.3f (target <= 1.1)\n", oauth / password);
    } catch (const Failure &failure) {
        std::fprintf(stderr, "bench_oauth: %s\n", failure.description().toUtf8().constData());
        return 1;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bench_oauth: %s\n", error.what());
        return 1;
    }
    return 0;
}
