#include "mailbridge/discovery/FoundSettings.h"

namespace {

QString securityShown(ImapSecurity security)
{
    switch (security) {
    case ImapSecurity::Tls:
        return QStringLiteral("TLS");
    case ImapSecurity::StartTls:
        return QStringLiteral("STARTTLS");
    case ImapSecurity::None:
        break;
    }
    return QStringLiteral("none");
}

} // namespace

QString signInName(const FoundSettings &settings)
{
    if (settings.signIn == SignInKind::Password)
        return QStringLiteral("password");
    if (settings.oauthProvider == QLatin1String("microsoft"))
        return QStringLiteral("OAuth 2.0 with Microsoft");
    if (settings.oauthProvider == QLatin1String("google"))
        return QStringLiteral("OAuth 2.0 with Google");
    return QStringLiteral("OAuth 2.0");
}

QString describeResult(const DiscoveryResult &result)
{
    if (result.outcome != DiscoveryResult::Outcome::Found)
        return result.reason;
    const FoundSettings &found = result.settings;
    QString text = QStringLiteral("Settings for %1, %2:\n").arg(result.address, result.source);
    text += QStringLiteral("Server: %1\n").arg(found.host);
    text += QStringLiteral("Port: %1\n").arg(found.port);
    text += QStringLiteral("Security: %1\n").arg(securityShown(found.security));
    text += QStringLiteral("User: %1\n").arg(found.user);
    text += QStringLiteral("Sign-in: %1\n").arg(signInName(found));
    if (!found.hint.isEmpty())
        text += QStringLiteral("Note: %1\n").arg(found.hint);
    return text;
}

MailAccount withFoundSettings(MailAccount account, const FoundSettings &found)
{
    account.kind = MailAccountKind::Imap;
    account.imapHost = found.host;
    account.imapSecurity = found.security;
    account.imapPort = found.port;
    if (account.imapUser.trimmed().isEmpty())
        account.imapUser = found.user;
    account.imapAuth = found.signIn == SignInKind::OAuth2 ? ImapAuth::OAuth2 : ImapAuth::Password;
    if (found.oauthProvider == QLatin1String("google"))
        account.oauthProvider = OAuthProvider::Google;
    else if (found.oauthProvider == QLatin1String("microsoft"))
        account.oauthProvider = OAuthProvider::Microsoft;
    return account;
}
