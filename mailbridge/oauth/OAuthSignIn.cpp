#include "mailbridge/oauth/OAuthSignIn.h"

#include "common/Failure.h"
#include "mailbridge/oauth/LoopbackListener.h"
#include "mailbridge/oauth/TokenRequest.h"
#include "mailbridge/password/PasswordStore.h"

#include <QUrlQuery>

OAuthSignIn::OAuthSignIn(OAuthEndpoints endpoints, PasswordStore &keyring, QString keyringKey,
                         OpenUrl openUrl, QObject *parent)
    : QObject(parent), m_endpoints(std::move(endpoints)), m_keyring(keyring),
      m_keyringKey(std::move(keyringKey)), m_openUrl(std::move(openUrl))
{
    m_patience.setSingleShot(true);
    connect(&m_patience, &QTimer::timeout, this, [this] {
        finish(QStringLiteral("The sign-in was not completed in the browser in time. Sign in "
                              "again when you are ready."));
    });
}

OAuthSignIn::~OAuthSignIn() = default;

void OAuthSignIn::start(std::chrono::milliseconds patience)
{
    m_pkce = makePkce();
    m_state = QString::fromLatin1(randomUrlSafe(24));
    m_listener = std::make_unique<LoopbackListener>(
        [this](const QUrlQuery &query) { return takeAnswer(query); },
        m_endpoints.redirectToLocalhost ? LoopbackName::Localhost : LoopbackName::IpLiteral);
    connect(m_listener.get(), &LoopbackListener::failed, this, &OAuthSignIn::finish);
    m_listener->listen();

    QUrlQuery query;
    query.addQueryItem(QStringLiteral("response_type"), QStringLiteral("code"));
    query.addQueryItem(QStringLiteral("client_id"), m_endpoints.clientId);
    query.addQueryItem(QStringLiteral("redirect_uri"), m_listener->redirectUri().toString());
    query.addQueryItem(QStringLiteral("scope"), m_endpoints.scope);
    query.addQueryItem(QStringLiteral("state"), m_state);
    query.addQueryItem(QStringLiteral("code_challenge"), QString::fromLatin1(m_pkce.challenge));
    query.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
    for (const auto &[name, value] : m_endpoints.authorizeExtras)
        query.addQueryItem(name, value);
    m_authorizeUrl = m_endpoints.authorizeUrl;
    QUrlQuery combined(m_authorizeUrl);
    for (const auto &[name, value] : query.queryItems())
        combined.addQueryItem(name, value);
    m_authorizeUrl.setQuery(combined);

    m_patience.start(patience);
    if (!m_openUrl(m_authorizeUrl))
        throw Failure(QStringLiteral("No web browser could be started for the sign-in. Open "
                                     "this address in one: %1")
                          .arg(m_authorizeUrl.toString()));
}

QString OAuthSignIn::takeAnswer(const QUrlQuery &query)
{
    const auto value = [&query](const char *name) {
        return query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    };
    // Anyone on this machine can reach the port; only the browser we sent knows the state.
    if (value("state") != m_state) {
        finish(QStringLiteral("The browser's answer did not belong to this sign-in, so it was "
                              "not used. Sign in again."));
        return QStringLiteral("This answer does not belong to the sign-in Ferrymail started.");
    }
    if (!value("error").isEmpty()) {
        const QString description = value("error_description");
        finish(QStringLiteral("The sign-in was refused: %1")
                   .arg(description.isEmpty() ? value("error") : description));
        return QStringLiteral("The sign-in was refused.");
    }
    const QString code = value("code");
    if (code.isEmpty()) {
        finish(QStringLiteral("The browser's answer carried no sign-in. Sign in again."));
        return QStringLiteral("The answer carried no sign-in.");
    }
    // After the page is on its way: the exchange waits on the network.
    QMetaObject::invokeMethod(
        this, [this, code] { exchange(code); }, Qt::QueuedConnection);
    return QStringLiteral("Ferrymail received the sign-in.");
}

void OAuthSignIn::exchange(const QString &code)
{
    try {
        QUrlQuery form;
        form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("authorization_code"));
        form.addQueryItem(QStringLiteral("code"), code);
        form.addQueryItem(QStringLiteral("redirect_uri"), m_listener->redirectUri().toString());
        form.addQueryItem(QStringLiteral("client_id"), m_endpoints.clientId);
        form.addQueryItem(QStringLiteral("code_verifier"), QString::fromLatin1(m_pkce.verifier));
        if (!m_endpoints.clientSecret.isEmpty())
            form.addQueryItem(QStringLiteral("client_secret"), m_endpoints.clientSecret);
        const TokenGrant grant = requestToken(m_endpoints.tokenUrl, form);
        if (grant.refreshToken.isEmpty())
            throw Failure(QStringLiteral("The sign-in server %1 gave no refresh token, so the "
                                         "program could not sign in again by itself. Check that "
                                         "the scope allows it (offline_access).")
                              .arg(m_endpoints.tokenUrl.host()));
        m_keyring.write(m_keyringKey, grant.refreshToken);
        finish(QString());
    } catch (const Failure &failure) {
        finish(failure.description());
    }
}

void OAuthSignIn::finish(const QString &failure)
{
    if (m_finished)
        return;
    m_finished = true;
    m_patience.stop();
    if (failure.isEmpty())
        emit signedIn();
    else
        emit failed(failure);
}
