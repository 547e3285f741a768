#include "mailbridge/oauth/OAuthProvider.h"

#include "common/Failure.h"

// A packager may build a registered client in (see the README); empty otherwise.
#ifndef FERRYMAIL_MICROSOFT_CLIENT_ID
#define FERRYMAIL_MICROSOFT_CLIENT_ID ""
#endif
#ifndef FERRYMAIL_GOOGLE_CLIENT_ID
#define FERRYMAIL_GOOGLE_CLIENT_ID ""
#endif
#ifndef FERRYMAIL_GOOGLE_CLIENT_SECRET
#define FERRYMAIL_GOOGLE_CLIENT_SECRET ""
#endif

namespace {

QString orBuiltIn(const QString &setting, const char *builtIn)
{
    return setting.isEmpty() ? QString::fromUtf8(builtIn) : setting;
}

} // namespace

OAuthEndpoints oauthEndpoints(const MailAccount &account)
{
    OAuthEndpoints endpoints;
    switch (account.oauthProvider) {
    case OAuthProvider::Microsoft:
        endpoints.authorizeUrl =
            QUrl(QStringLiteral("https://login.microsoftonline.com/common/oauth2/v2.0/authorize"));
        endpoints.tokenUrl =
            QUrl(QStringLiteral("https://login.microsoftonline.com/common/oauth2/v2.0/token"));
        // openid email: the token answer then names whose sign-in it is, which is checked
        // against the account's user before the sign-in is kept.
        endpoints.scope =
            QStringLiteral("https://outlook.office.com/IMAP.AccessAsUser.All offline_access "
                           "openid email");
        endpoints.clientId = orBuiltIn(account.oauthClientId, FERRYMAIL_MICROSOFT_CLIENT_ID);
        endpoints.clientSecret = account.oauthClientSecret;
        endpoints.redirectToLocalhost = true;
        break;
    case OAuthProvider::Google:
        endpoints.authorizeUrl =
            QUrl(QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth"));
        endpoints.tokenUrl = QUrl(QStringLiteral("https://oauth2.googleapis.com/token"));
        endpoints.scope = QStringLiteral("https://mail.google.com/ openid email");
        endpoints.clientId = orBuiltIn(account.oauthClientId, FERRYMAIL_GOOGLE_CLIENT_ID);
        // Google's desktop clients come with a "secret" that is no secret; it belongs to the ID.
        endpoints.clientSecret = account.oauthClientId.isEmpty()
                                     ? QString::fromUtf8(FERRYMAIL_GOOGLE_CLIENT_SECRET)
                                     : account.oauthClientSecret;
        // Without these Google hands out no refresh token, or only at the first consent.
        endpoints.authorizeExtras = {{QStringLiteral("access_type"), QStringLiteral("offline")},
                                     {QStringLiteral("prompt"), QStringLiteral("consent")}};
        break;
    case OAuthProvider::Custom:
        endpoints.authorizeUrl = QUrl(account.oauthAuthorizeUrl);
        endpoints.tokenUrl = QUrl(account.oauthTokenUrl);
        endpoints.scope = account.oauthScope;
        endpoints.clientId = account.oauthClientId;
        endpoints.clientSecret = account.oauthClientSecret;
        break;
    }
    if (endpoints.clientId.isEmpty())
        throw Failure(QStringLiteral("This program has no client ID for signing in with %1. "
                                     "Register one as the README says and paste it into "
                                     "\"Client ID\" in the Mail account window (OAuth2ClientId "
                                     "in section [MailClient]).")
                          .arg(providerName(account.oauthProvider)));
    return endpoints;
}

ProviderServer providerServer(OAuthProvider provider)
{
    switch (provider) {
    case OAuthProvider::Microsoft:
        return {QStringLiteral("outlook.office365.com"), 993, ImapSecurity::Tls};
    case OAuthProvider::Google:
        return {QStringLiteral("imap.gmail.com"), 993, ImapSecurity::Tls};
    case OAuthProvider::Custom:
        break;
    }
    return {};
}
