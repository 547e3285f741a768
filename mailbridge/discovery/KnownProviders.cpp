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
    // Domains of the provider's own servers, when its submission server puts each message it
    // takes into the sender's Sent folder by itself: a copy kept by Ferrymail would be a second.
    QStringList filesSentMailOn = {};
};

// Microsoft 365 addresses are on any domain: those are left to the DNS records.
const std::vector<Provider> &providers()
{
    static const std::vector<Provider> list = {
        {{"outlook.com", "hotmail.com", "live.com", "msn.com"},
         "outlook.office365.com",
         SignInKind::OAuth2,
         "microsoft",
         "Microsoft takes no password for IMAP: sign in with Microsoft.",
         // Exchange Online saves what SMTP AUTH client submission sends into the mailbox's
         // Sent Items, as Microsoft's documentation of that submission tells; mail programs
         // that copy as well are known to leave two there.
         {"office365.com", "outlook.com"}},
        {{"gmail.com", "googlemail.com"},
         "imap.gmail.com",
         SignInKind::OAuth2,
         "google",
         "Google takes a password only as an app password, with 2-step verification on.",
         // Gmail puts what its submission server takes into Sent Mail itself.
         {"gmail.com", "googlemail.com"}},
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

bool submissionFilesSentMail(const QString &smtpHost)
{
    const QString host = smtpHost.trimmed().toLower();
    for (const Provider &provider : providers())
        for (const QString &domain : provider.filesSentMailOn)
            if (host == domain || host.endsWith(QLatin1Char('.') + domain))
                return true;
    return false;
}

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
