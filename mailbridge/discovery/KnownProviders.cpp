#include "mailbridge/discovery/KnownProviders.h"

#include <QStringList>

#include <vector>

namespace {

struct Provider
{
    QStringList domains;
    QString host;
    SignInKind signIn = SignInKind::Password;
    QString oauthProvider;
    QString hint;
};

// Microsoft 365 addresses are on any domain: those are left to the DNS records.
const std::vector<Provider> &providers()
{
    static const std::vector<Provider> list = {
        {{"outlook.com", "hotmail.com", "live.com", "msn.com"},
         "outlook.office365.com",
         SignInKind::OAuth2,
         "microsoft",
         "Microsoft takes no password for IMAP: sign in with Microsoft."},
        {{"gmail.com", "googlemail.com"},
         "imap.gmail.com",
         SignInKind::OAuth2,
         "google",
         "Google takes a password only as an app password, with 2-step verification on."},
        {{"icloud.com", "me.com", "mac.com"},
         "imap.mail.me.com",
         SignInKind::Password,
         {},
         "iCloud needs an app-specific password: make one at account.apple.com."},
        {{"yahoo.com", "ymail.com", "rocketmail.com", "yahoo.co.uk", "yahoo.de", "yahoo.fr",
          "yahoo.es", "yahoo.it"},
         "imap.mail.yahoo.com",
         SignInKind::Password,
         {},
         "Yahoo needs an app password: make one in the account's security settings."},
        {{"fastmail.com", "fastmail.fm"},
         "imap.fastmail.com",
         SignInKind::Password,
         {},
         "Fastmail needs an app password: make one in its settings under Privacy & Security."},
        {{"gmx.net", "gmx.de"},
         "imap.gmx.net",
         SignInKind::Password,
         {},
         "IMAP must first be switched on in GMX's web settings."},
        {{"gmx.com"},
         "imap.gmx.com",
         SignInKind::Password,
         {},
         "IMAP must first be switched on in GMX's web settings."},
        {{"web.de"},
         "imap.web.de",
         SignInKind::Password,
         {},
         "IMAP must first be switched on in WEB.DE's web settings."},
        {{"posteo.de", "posteo.net"}, "posteo.de", SignInKind::Password, {}, {}},
        {{"mailbox.org"}, "imap.mailbox.org", SignInKind::Password, {}, {}},
    };
    return list;
}

} // namespace

std::optional<FoundSettings> knownProvider(const QString &domain)
{
    for (const Provider &provider : providers()) {
        if (!provider.domains.contains(domain))
            continue;
        FoundSettings found;
        found.host = provider.host;
        found.port = 993;
        found.security = ImapSecurity::Tls;
        found.signIn = provider.signIn;
        found.oauthProvider = provider.oauthProvider;
        found.hint = provider.hint;
        return found;
    }
    return std::nullopt;
}
