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

OAuthProvider providerOf(const FoundSettings &found, OAuthProvider otherwise)
{
    if (found.oauthProvider == QLatin1String("google"))
        return OAuthProvider::Google;
    if (found.oauthProvider == QLatin1String("microsoft"))
        return OAuthProvider::Microsoft;
    return otherwise;
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

QString providerSizeText(std::uint64_t bytes)
{
    constexpr std::uint64_t mb = 1000 * 1000;
    if (bytes % mb == 0)
        return QStringLiteral("%1 MB").arg(bytes / mb);
    return QStringLiteral("%1 MB").arg(double(bytes) / double(mb), 0, 'f', 1);
}

QString describeResult(const DiscoveryResult &result)
{
    if (result.outcome != DiscoveryResult::Outcome::Found)
        return result.reason;
    const FoundSettings &found = result.settings;
    QString text = QStringLiteral("Settings for %1, %2:\n").arg(result.address, result.source);
    if (!found.host.isEmpty()) {
        text += QStringLiteral("Server: %1\n").arg(found.host);
        text += QStringLiteral("Port: %1\n").arg(found.port);
        text += QStringLiteral("Security: %1\n").arg(securityShown(found.security));
    }
    if (!found.smtpHost.isEmpty())
        text += QStringLiteral("Outgoing server: %1, port %2, %3\n")
                    .arg(found.smtpHost)
                    .arg(found.smtpPort)
                    .arg(securityShown(found.smtpSecurity));
    text += QStringLiteral("User: %1\n").arg(found.user);
    text += QStringLiteral("Sign-in: %1\n").arg(signInName(found));
    if (found.sizeLimit)
        text += QStringLiteral("Largest message: %1\n").arg(providerSizeText(*found.sizeLimit));
    if (!found.hint.isEmpty())
        text += QStringLiteral("Note: %1\n").arg(found.hint);
    return text;
}

FoundSettings usableSettings(FoundSettings found, bool oauthUsable)
{
    if (found.signIn != SignInKind::OAuth2 || oauthUsable)
        return found;
    found.signIn = SignInKind::Password;
    found.oauthProvider.clear();
    if (!found.passwordHint.isEmpty())
        found.hint = found.passwordHint;
    return found;
}

MailAccount withFoundSettings(MailAccount account, const FoundSettings &found)
{
    account.imapHost = found.host;
    account.imapSecurity = found.security;
    account.imapPort = found.port;
    account.imapUser = found.user;
    account.smtpHost = found.smtpHost;
    account.smtpSecurity = found.smtpSecurity;
    account.smtpPort = found.smtpPort;
    account.smtpUser.clear(); // the same user as for IMAP
    const ImapAuth auth =
        found.signIn == SignInKind::OAuth2 ? ImapAuth::OAuth2 : ImapAuth::Password;
    account.imapAuth = auth;
    account.smtpAuth = auth;
    const OAuthProvider provider = providerOf(found, OAuthProvider::Custom);
    // Another provider's client and URLs would only be sent to the wrong server.
    if (provider != account.oauthProvider || found.signIn != SignInKind::OAuth2) {
        account.oauthClientId.clear();
        account.oauthClientSecret.clear();
    }
    account.oauthProvider =
        found.signIn == SignInKind::OAuth2 ? provider : OAuthProvider::Microsoft;
    account.oauthAuthorizeUrl.clear();
    account.oauthTokenUrl.clear();
    account.oauthScope.clear();
    account.tokenCommand.clear();
    return account;
}
