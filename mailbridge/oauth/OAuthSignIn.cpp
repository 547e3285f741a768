#include "mailbridge/oauth/OAuthSignIn.h"

#include "common/Failure.h"
#include "common/ThreadHandOver.h"
#include "mailbridge/oauth/TokenRequest.h"
#include "mailbridge/password/PasswordStore.h"
#include "mailbridge/password/SecretText.h"

#include <QPointer>
#include <QUrlQuery>

namespace {

const QString startPath = QStringLiteral("/sign-in");

} // namespace

OAuthSignIn::OAuthSignIn(OAuthEndpoints endpoints, PasswordStore &keyring, QString keyringKey,
                         QString user, OpenUrl openUrl, TestLogin testLogin, QObject *parent)
    : QObject(parent), m_endpoints(std::move(endpoints)), m_keyring(keyring),
      m_keyringKey(std::move(keyringKey)), m_user(std::move(user)), m_openUrl(std::move(openUrl)),
      m_testLogin(std::move(testLogin))
{
    m_patience.setSingleShot(true);
    connect(&m_patience, &QTimer::timeout, this, [this] {
        finish(QStringLiteral("The sign-in was not completed in the browser in time. Sign in "
                              "again when you are ready."));
    });
    m_exchangeWatch.setSingleShot(true);
    connect(&m_exchangeWatch, &QTimer::timeout, this, [this] {
        finish(QStringLiteral("The sign-in server %1 did not hand out the sign-in in time. "
                              "Sign in again.")
                   .arg(m_endpoints.tokenUrl.host()));
    });
}

OAuthSignIn::~OAuthSignIn()
{
    m_cancel->store(true);
}

QUrl OAuthSignIn::startUrl() const
{
    QUrl url = m_listener ? m_listener->redirectUri() : QUrl();
    url.setPath(startPath);
    return url;
}

void OAuthSignIn::start(std::chrono::milliseconds patience)
{
    m_pkce = makePkce();
    m_state = QString::fromLatin1(randomUrlSafe(24));
    m_listener = std::make_unique<LoopbackListener>(
        [this](const QString &path, const QUrlQuery &query) { return takeRequest(path, query); },
        m_endpoints.redirectToLocalhost ? LoopbackName::Localhost : LoopbackName::IpLiteral);
    m_listener->listen();

    QUrlQuery query;
    query.addQueryItem(QStringLiteral("response_type"), QStringLiteral("code"));
    query.addQueryItem(QStringLiteral("client_id"), m_endpoints.clientId);
    query.addQueryItem(QStringLiteral("redirect_uri"), m_listener->redirectUri().toString());
    query.addQueryItem(QStringLiteral("scope"), m_endpoints.scope);
    query.addQueryItem(QStringLiteral("state"), m_state);
    query.addQueryItem(QStringLiteral("code_challenge"), QString::fromLatin1(m_pkce.challenge));
    query.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
    // Where the provider supports it, the person is offered the account this is for.
    if (m_user.contains(u'@'))
        query.addQueryItem(QStringLiteral("login_hint"), m_user);
    for (const auto &[name, value] : m_endpoints.authorizeExtras)
        query.addQueryItem(name, value);
    m_authorizeUrl = m_endpoints.authorizeUrl;
    QUrlQuery combined(m_authorizeUrl);
    for (const auto &[name, value] : query.queryItems())
        combined.addQueryItem(name, value);
    m_authorizeUrl.setQuery(combined);

    m_patience.start(patience);
    if (!m_openUrl(startUrl()))
        throw Failure(QStringLiteral("No web browser could be started for the sign-in. Open "
                                     "this address in one: %1")
                          .arg(startUrl().toString()));
}

ListenerAnswer OAuthSignIn::takeRequest(const QString &path, const QUrlQuery &query)
{
    if (m_finished)
        return {400, QStringLiteral("This sign-in has ended."), {}, true};
    if (path == startPath) {
        // Served once: a second reader of the start page may be another program that saw
        // the address, and the sign-in it could start must not be taken for this one.
        if (m_startServed) {
            finish(QStringLiteral("The sign-in page was opened twice; another program on this "
                                  "machine may have opened it. Nothing was kept. Sign in "
                                  "again."));
            return {400, QStringLiteral("This sign-in page was already opened."), {}, true};
        }
        m_startServed = true;
        return {302, QStringLiteral("On to the sign-in page."), m_authorizeUrl, false};
    }
    if (path != QLatin1String("/"))
        return {404, QStringLiteral("There is nothing here."), {}, false};
    return takeAnswer(query);
}

ListenerAnswer OAuthSignIn::takeAnswer(const QUrlQuery &query)
{
    const auto value = [&query](const char *name) {
        return query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    };
    // Anyone on this machine can reach the port; only the browser we sent knows the state.
    // A request without it is turned away, and the real answer still awaited.
    if (value("state") != m_state)
        return {400,
                QStringLiteral("This answer does not belong to the sign-in Ferrymail "
                               "started."),
                {},
                false};
    if (!value("error").isEmpty()) {
        const QString description = value("error_description");
        finish(QStringLiteral("The sign-in was refused: %1")
                   .arg(escapedControls(description.isEmpty() ? value("error") : description)));
        return {200, QStringLiteral("The sign-in was refused."), {}, true};
    }
    const QString code = value("code");
    if (code.isEmpty()) {
        finish(QStringLiteral("The browser's answer carried no sign-in. Sign in again."));
        return {200, QStringLiteral("The answer carried no sign-in."), {}, true};
    }
    exchange(code);
    return {200, QStringLiteral("Ferrymail received the sign-in."), {}, true};
}

void OAuthSignIn::exchange(const QString &code)
{
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("authorization_code"));
    form.addQueryItem(QStringLiteral("code"), code);
    form.addQueryItem(QStringLiteral("redirect_uri"), m_listener->redirectUri().toString());
    form.addQueryItem(QStringLiteral("client_id"), m_endpoints.clientId);
    form.addQueryItem(QStringLiteral("code_verifier"), QString::fromLatin1(m_pkce.verifier));
    if (!m_endpoints.clientSecret.isEmpty())
        form.addQueryItem(QStringLiteral("client_secret"), m_endpoints.clientSecret);
    m_patience.stop();
    m_exchangeWatch.start(m_exchangeDeadline);
    // The token server and the test login may take their time: a worker waits for them, and
    // the window learns the end from its own loop.
    runInBackground([tokenUrl = m_endpoints.tokenUrl, host = m_endpoints.tokenUrl.host(), form,
                     user = m_user, testLogin = m_testLogin, cancel = m_cancel,
                     self = QPointer<OAuthSignIn>(this)] {
        const auto cancelled = [cancel] { return cancel->load(); };
        QString failure;
        QString refreshToken;
        try {
            const TokenGrant grant = requestToken(tokenUrl, form, {}, cancelled);
            if (grant.refreshToken.isEmpty())
                throw Failure(QStringLiteral("The sign-in server %1 gave no refresh token, so the "
                                             "program could not sign in again by itself. Check "
                                             "that the scope allows it (offline_access).")
                                  .arg(host));
            checkGrantOwner(grant, user, testLogin, cancelled);
            refreshToken = grant.refreshToken;
        } catch (const Failure &caught) {
            failure = caught.description();
        }
        runOnApplicationThread([self, cancel, failure, refreshToken] {
            if (self && !cancel->load())
                self->exchanged(failure, refreshToken);
        });
    });
}

void OAuthSignIn::exchanged(const QString &failure, const QString &refreshToken)
{
    if (m_finished)
        return;
    if (!failure.isEmpty()) {
        finish(failure);
        return;
    }
    m_keyring.writeLater(m_keyringKey, refreshToken, this,
                         [this](const QString &notKept) { finish(notKept); });
}

void OAuthSignIn::finish(const QString &failure)
{
    if (m_finished)
        return;
    m_finished = true;
    m_patience.stop();
    m_exchangeWatch.stop();
    m_cancel->store(true);
    if (m_listener)
        m_listener->stop();
    if (failure.isEmpty())
        emit signedIn();
    else
        emit failed(failure);
}
