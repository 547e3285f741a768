#include "mailbridge/discovery/KnownProviders.h"

#include "common/Failure.h"
#include "mailbridge/discovery/MailDomain.h"

#include <QStringList>

#include <vector>

namespace {

constexpr std::uint64_t mb = 1000 * 1000;

struct Provider
{
    QString name;
    QStringList domains;
    QString host;
    QString smtpHost;
    int smtpPort = 465;
    ImapSecurity smtpSecurity = ImapSecurity::Tls;
    SignInKind signIn = SignInKind::Password;
    QString oauthProvider;
    QString hint;
    QString passwordHint;        // with OAuth 2.0 only: when this program cannot offer it
    std::uint64_t sizeLimit = 0; // as the provider's help pages state it; 0: not stated
    // Domains of the provider's own servers, when its submission server puts each message it
    // takes into the sender's Sent folder by itself: a copy kept by Ferrymail would be a second.
    QStringList filesSentMailOn = {};
};

// Microsoft 365 addresses are on any domain: those are left to the DNS records. The size
// limits are those the providers' help pages give for a whole message.
const std::vector<Provider> &providers()
{
    static const std::vector<Provider> list = {
        {"Outlook.com",
         {"outlook.com", "hotmail.com", "live.com", "msn.com"},
         "outlook.office365.com",
         "smtp-mail.outlook.com",
         587,
         ImapSecurity::StartTls,
         SignInKind::OAuth2,
         "microsoft",
         "Microsoft takes no password for IMAP: sign in with Microsoft.",
         "Microsoft takes passwords only as app passwords, and may refuse even those: turn on "
         "two-step verification at account.microsoft.com/security, make an app password there "
         "and type it as the password. Signing in with Microsoft needs a client ID (see the "
         "README).",
         20 * mb,
         // Exchange Online saves what SMTP AUTH client submission sends into the mailbox's
         // Sent Items, as Microsoft's documentation of that submission tells; mail programs
         // that copy as well are known to leave two there.
         {"office365.com", "outlook.com"}},
        {"Gmail",
         {"gmail.com", "googlemail.com"},
         "imap.gmail.com",
         "smtp.gmail.com",
         465,
         ImapSecurity::Tls,
         SignInKind::OAuth2,
         "google",
         "Google takes a password only as an app password, with 2-step verification on.",
         "Google takes a password only as an app password: turn on 2-Step Verification, make "
         "one at myaccount.google.com/apppasswords and type it as the password.",
         25 * mb,
         // Gmail puts what its submission server takes into Sent Mail itself.
         {"gmail.com", "googlemail.com"}},
        {"iCloud Mail",
         {"icloud.com", "me.com", "mac.com"},
         "imap.mail.me.com",
         "smtp.mail.me.com",
         587,
         ImapSecurity::StartTls,
         SignInKind::Password,
         {},
         "iCloud needs an app-specific password: make one at account.apple.com under Sign-In "
         "and Security, and type it as the password.",
         {},
         20 * mb},
        {"Yahoo Mail",
         {"yahoo.com", "ymail.com", "rocketmail.com", "yahoo.co.uk", "yahoo.de", "yahoo.fr",
          "yahoo.es", "yahoo.it"},
         "imap.mail.yahoo.com",
         "smtp.mail.yahoo.com",
         465,
         ImapSecurity::Tls,
         SignInKind::Password,
         {},
         "Yahoo needs an app password: make one in the account's security settings under "
         "\"Generate app password\", and type it as the password.",
         {},
         25 * mb},
        {"Fastmail",
         {"fastmail.com", "fastmail.fm"},
         "imap.fastmail.com",
         "smtp.fastmail.com",
         465,
         ImapSecurity::Tls,
         SignInKind::Password,
         {},
         "Fastmail needs an app password: make one in its settings under Privacy & Security, "
         "and type it as the password.",
         {},
         0},
        {"GMX",
         {"gmx.net", "gmx.de"},
         "imap.gmx.net",
         "mail.gmx.net",
         587,
         ImapSecurity::StartTls,
         SignInKind::Password,
         {},
         "IMAP must first be switched on in GMX's web settings.",
         {},
         0},
        {"GMX",
         {"gmx.com"},
         "imap.gmx.com",
         "mail.gmx.com",
         587,
         ImapSecurity::StartTls,
         SignInKind::Password,
         {},
         "IMAP must first be switched on in GMX's web settings.",
         {},
         0},
        {"WEB.DE",
         {"web.de"},
         "imap.web.de",
         "smtp.web.de",
         587,
         ImapSecurity::StartTls,
         SignInKind::Password,
         {},
         "IMAP must first be switched on in WEB.DE's web settings.",
         {},
         0},
        {"Posteo",
         {"posteo.de", "posteo.net"},
         "posteo.de",
         "posteo.de",
         465,
         ImapSecurity::Tls,
         SignInKind::Password,
         {},
         {},
         {},
         50 * mb},
        {"mailbox.org",
         {"mailbox.org"},
         "imap.mailbox.org",
         "smtp.mailbox.org",
         465,
         ImapSecurity::Tls,
         SignInKind::Password,
         {},
         {},
         {},
         0},
    };
    return list;
}

FoundSettings settingsOf(const Provider &provider)
{
    FoundSettings found;
    found.host = provider.host;
    found.port = 993;
    found.security = ImapSecurity::Tls;
    found.smtpHost = provider.smtpHost;
    found.smtpPort = provider.smtpPort;
    found.smtpSecurity = provider.smtpSecurity;
    found.signIn = provider.signIn;
    found.oauthProvider = provider.oauthProvider;
    found.hint = provider.hint;
    found.passwordHint = provider.passwordHint;
    found.providerName = provider.name;
    if (provider.sizeLimit)
        found.sizeLimit = provider.sizeLimit;
    return found;
}

} // namespace

QStringList knownProviderDomains()
{
    QStringList domains;
    for (const Provider &provider : providers())
        domains << provider.domains.first();
    return domains;
}

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
    for (const Provider &provider : providers())
        if (provider.domains.contains(domain))
            return settingsOf(provider);
    return std::nullopt;
}

std::optional<FoundSettings> knownProviderOf(const MailAccount &account)
{
    const QString host =
        (account.kind == MailAccountKind::Smtp ? account.smtpHost : account.imapHost)
            .trimmed()
            .toLower();
    for (const Provider &provider : providers())
        if (!host.isEmpty() && (host == provider.host || host == provider.smtpHost))
            return settingsOf(provider);
    const QString user =
        account.kind == MailAccountKind::Smtp ? smtpLoginUser(account) : account.imapUser;
    if (!user.contains(u'@'))
        return std::nullopt;
    try {
        return knownProvider(mailDomain(user));
    } catch (const Failure &) {
        return std::nullopt;
    }
}
