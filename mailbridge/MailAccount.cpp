#include "mailbridge/MailAccount.h"

#include "common/Failure.h"
#include "common/HomePath.h"
#include "mailbridge/EncryptedConnection.h"
#include "settings/SettingsStore.h"

#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

const QString section = QStringLiteral("MailClient");

QString read(const SettingsStore &store, const char *key)
{
    return store.read(section, QLatin1String(key)).trimmed();
}

[[noreturn]] void badValue(const char *key, const QString &value, const char *expected)
{
    throw Failure(QStringLiteral("The setting %1=%2 in section [%3] is not understood; use %4.")
                      .arg(QLatin1String(key), value, section, QLatin1String(expected)));
}

ImapSecurity readSecurity(const SettingsStore &store, const char *key)
{
    const QString security = read(store, key).toLower();
    if (security == QLatin1String("starttls"))
        return ImapSecurity::StartTls;
    if (security == QLatin1String("none"))
        return ImapSecurity::None;
    if (!security.isEmpty() && security != QLatin1String("tls"))
        badValue(key, security, "tls, starttls or none");
    return ImapSecurity::Tls;
}

int readPort(const SettingsStore &store, const char *key, int fallback)
{
    const QString port = read(store, key);
    if (port.isEmpty())
        return fallback;
    bool ok = false;
    const int number = port.toInt(&ok);
    if (!ok || number < 1 || number > 65535)
        badValue(key, port, "a port number from 1 to 65535, or nothing for the default");
    return number;
}

ImapAuth readAuth(const SettingsStore &store, const char *key)
{
    const QString auth = read(store, key).toLower();
    if (auth == QLatin1String("oauth2"))
        return ImapAuth::OAuth2;
    if (!auth.isEmpty() && auth != QLatin1String("password"))
        badValue(key, auth, "password or oauth2");
    return ImapAuth::Password;
}

SaveSentCopy readSaveSentCopy(const SettingsStore &store)
{
    const QString choice = read(store, "SaveSentCopy").toLower();
    if (choice == QLatin1String("yes"))
        return SaveSentCopy::Yes;
    if (choice == QLatin1String("no"))
        return SaveSentCopy::No;
    if (!choice.isEmpty() && choice != QLatin1String("auto"))
        badValue("SaveSentCopy", choice, "auto, yes or no");
    return SaveSentCopy::Auto;
}

QString saveSentCopyName(SaveSentCopy choice)
{
    switch (choice) {
    case SaveSentCopy::Yes:
        return QStringLiteral("yes");
    case SaveSentCopy::No:
        return QStringLiteral("no");
    case SaveSentCopy::Auto:
        break;
    }
    return QStringLiteral("auto");
}

bool hasLineBreakOrNul(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) ||
           text.contains(QChar(0));
}

void refuseLineBreaks(const char *key, const QString &value)
{
    if (hasLineBreakOrNul(value))
        throw Failure(QStringLiteral("The setting %1 in section [%2] holds a line break or NUL "
                                     "character, which cannot be sent; write it on one line.")
                          .arg(QLatin1String(key), section));
}

void checkSmtpAccount(const MailAccount &account)
{
    refuseLineBreaks("SmtpUser", account.smtpUser);
    if (account.smtpUser.isEmpty())
        refuseLineBreaks("ImapUser", account.imapUser);
    if (account.smtpHost.isEmpty())
        throw Failure(QStringLiteral("The mail account has no outgoing (SMTP) server: enter its "
                                     "name as SmtpHost."));
    if (account.smtpPort < 1 || account.smtpPort > 65535)
        throw Failure(QStringLiteral("The port %1 for %2 is out of range: use 1 to 65535.")
                          .arg(account.smtpPort)
                          .arg(account.smtpHost));
    requireEncryptedConnection(account.smtpHost, account.smtpSecurity,
                               QStringLiteral("SmtpSecurity"));
}

} // namespace

int defaultSmtpPort(ImapSecurity security)
{
    switch (security) {
    case ImapSecurity::Tls:
        return 465;
    case ImapSecurity::StartTls:
        return 587;
    case ImapSecurity::None:
        return 25;
    }
    return 465;
}

QString smtpLoginUser(const MailAccount &account)
{
    return account.smtpUser.isEmpty() ? account.imapUser : account.smtpUser;
}

bool hasImapSettings(const MailAccount &account)
{
    return !account.imapHost.isEmpty() && !account.imapUser.isEmpty();
}

bool usesOAuth(const MailAccount &account)
{
    return account.kind == MailAccountKind::Smtp ? account.smtpAuth == ImapAuth::OAuth2
                                                 : account.imapAuth == ImapAuth::OAuth2;
}

int defaultImapPort(ImapSecurity security)
{
    return security == ImapSecurity::Tls ? 993 : 143;
}

QString securityName(ImapSecurity security)
{
    switch (security) {
    case ImapSecurity::Tls:
        return QStringLiteral("tls");
    case ImapSecurity::StartTls:
        return QStringLiteral("starttls");
    case ImapSecurity::None:
        return QStringLiteral("none");
    }
    return QString();
}

MailAccount readMailAccount(const SettingsStore &store)
{
    MailAccount account;
    const QString kind = read(store, "Kind").toLower();
    if (kind == QLatin1String("imap"))
        account.kind = MailAccountKind::Imap;
    else if (kind == QLatin1String("smtp"))
        account.kind = MailAccountKind::Smtp;
    else if (kind == QLatin1String("sendmail"))
        account.kind = MailAccountKind::Sendmail;
    else if (!kind.isEmpty() && kind != QLatin1String("maildir"))
        badValue("Kind", kind, "maildir, imap, smtp or sendmail");
    account.outbox = store.read(section, QStringLiteral("Outbox"));

    account.imapSecurity = readSecurity(store, "ImapSecurity");
    account.imapPort = readPort(store, "ImapPort", defaultImapPort(account.imapSecurity));
    account.smtpSecurity = readSecurity(store, "SmtpSecurity");
    account.smtpPort = readPort(store, "SmtpPort", defaultSmtpPort(account.smtpSecurity));
    account.smtpHost = read(store, "SmtpHost");
    account.smtpUser = store.readVerbatim(section, QStringLiteral("SmtpUser")).trimmed();
    account.sendmailCommand =
        store.readVerbatim(section, QStringLiteral("SendmailCommand")).trimmed();
    account.imapHost = read(store, "ImapHost");
    account.imapUser = read(store, "ImapUser");
    account.imapFolder = read(store, "ImapFolder");
    account.passwordCommand =
        store.readVerbatim(section, QStringLiteral("PasswordCommand")).trimmed();

    account.imapAuth = readAuth(store, "ImapAuth");
    account.smtpAuth = readAuth(store, "SmtpAuth");
    account.saveSentCopy = readSaveSentCopy(store);
    const QString provider = read(store, "OAuth2Provider").toLower();
    if (provider == QLatin1String("google"))
        account.oauthProvider = OAuthProvider::Google;
    else if (provider == QLatin1String("custom"))
        account.oauthProvider = OAuthProvider::Custom;
    else if (!provider.isEmpty() && provider != QLatin1String("microsoft"))
        badValue("OAuth2Provider", provider, "microsoft, google or custom");
    account.oauthClientId = read(store, "OAuth2ClientId");
    account.oauthClientSecret = read(store, "OAuth2ClientSecret");
    account.oauthAuthorizeUrl = read(store, "OAuth2AuthorizeUrl");
    account.oauthTokenUrl = read(store, "OAuth2TokenUrl");
    account.oauthScope = read(store, "OAuth2Scope");
    account.tokenCommand = store.readVerbatim(section, QStringLiteral("TokenCommand")).trimmed();
    account.caFile = read(store, "CaFile");
    return account;
}

static void checkCustomProvider(const MailAccount &account);

void checkMailAccount(const MailAccount &account)
{
    if (account.kind == MailAccountKind::Sendmail)
        refuseLineBreaks("SendmailCommand", account.sendmailCommand);
    if (account.kind == MailAccountKind::Smtp) {
        checkSmtpAccount(account);
        if (account.smtpAuth != ImapAuth::OAuth2 ||
            account.oauthProvider != OAuthProvider::Custom || !account.tokenCommand.isEmpty())
            return;
        checkCustomProvider(account);
        return;
    }
    if (account.kind != MailAccountKind::Imap)
        return;
    if (account.imapHost.isEmpty())
        throw Failure(QStringLiteral("The mail account has no IMAP server: enter its name."));
    if (account.imapUser.isEmpty())
        throw Failure(QStringLiteral("The mail account for %1 has no user name: enter the name "
                                     "you log in to the server with.")
                          .arg(account.imapHost));
    if (account.imapPort < 1 || account.imapPort > 65535)
        throw Failure(QStringLiteral("The port %1 for %2 is out of range: use 1 to 65535.")
                          .arg(account.imapPort)
                          .arg(account.imapHost));
    const bool oauth = account.imapAuth == ImapAuth::OAuth2;
    requireEncryptedConnection(account.imapHost, account.imapSecurity,
                               QStringLiteral("ImapSecurity"));
    if (!oauth || account.oauthProvider != OAuthProvider::Custom || !account.tokenCommand.isEmpty())
        return;
    checkCustomProvider(account);
}

static void checkCustomProvider(const MailAccount &account)
{
    const struct
    {
        const char *key;
        const QString &url;
    } urls[] = {{"OAuth2AuthorizeUrl", account.oauthAuthorizeUrl},
                {"OAuth2TokenUrl", account.oauthTokenUrl}};
    for (const auto &url : urls) {
        const QUrl parsed(url.url, QUrl::StrictMode);
        const QString scheme = parsed.scheme().toLower();
        // Plain http would carry the code and the tokens readable: this machine only.
        const bool secure = scheme == QLatin1String("https") ||
                            (scheme == QLatin1String("http") && isLoopbackHost(parsed.host()));
        if (!parsed.isValid() || parsed.host().isEmpty() || !secure)
            throw Failure(QStringLiteral("The sign-in with your own provider needs %1 set to an "
                                         "https:// address (http:// only for this machine); it "
                                         "is \"%2\".")
                              .arg(QLatin1String(url.key), url.url));
    }
}

QString kindName(MailAccountKind kind)
{
    switch (kind) {
    case MailAccountKind::Maildir:
        return QStringLiteral("maildir");
    case MailAccountKind::Imap:
        return QStringLiteral("imap");
    case MailAccountKind::Smtp:
        return QStringLiteral("smtp");
    case MailAccountKind::Sendmail:
        return QStringLiteral("sendmail");
    }
    return QString();
}

void writeMailAccount(SettingsStore &store, const MailAccount &account)
{
    checkMailAccount(account);
    store.write(section, QStringLiteral("Kind"), kindName(account.kind));
    store.write(section, QStringLiteral("Outbox"), account.outbox);
    store.write(section, QStringLiteral("ImapHost"), account.imapHost);
    store.write(section, QStringLiteral("ImapPort"), QString::number(account.imapPort));
    store.write(section, QStringLiteral("ImapSecurity"), securityName(account.imapSecurity));
    store.write(section, QStringLiteral("ImapUser"), account.imapUser);
    store.write(section, QStringLiteral("ImapFolder"), account.imapFolder);
    store.write(section, QStringLiteral("PasswordCommand"), account.passwordCommand);
    store.write(section, QStringLiteral("ImapAuth"),
                account.imapAuth == ImapAuth::OAuth2 ? QStringLiteral("oauth2")
                                                     : QStringLiteral("password"));
    // The outgoing keys only once chosen, so that an IMAP account's file stays as it was.
    if (account.kind == MailAccountKind::Smtp || !account.smtpHost.isEmpty()) {
        store.write(section, QStringLiteral("SmtpHost"), account.smtpHost);
        store.write(section, QStringLiteral("SmtpPort"), QString::number(account.smtpPort));
        store.write(section, QStringLiteral("SmtpSecurity"), securityName(account.smtpSecurity));
        store.write(section, QStringLiteral("SmtpUser"), account.smtpUser);
        store.write(section, QStringLiteral("SmtpAuth"),
                    account.smtpAuth == ImapAuth::OAuth2 ? QStringLiteral("oauth2")
                                                         : QStringLiteral("password"));
    }
    if (account.kind == MailAccountKind::Smtp || account.saveSentCopy != SaveSentCopy::Auto)
        store.write(section, QStringLiteral("SaveSentCopy"),
                    saveSentCopyName(account.saveSentCopy));
    if (account.kind == MailAccountKind::Sendmail || !account.sendmailCommand.isEmpty())
        store.write(section, QStringLiteral("SendmailCommand"), account.sendmailCommand);
    // Written also when emptied, so that clearing it in the window takes effect.
    if (!account.caFile.isEmpty() || !store.read(section, QStringLiteral("CaFile")).isEmpty())
        store.write(section, QStringLiteral("CaFile"), account.caFile);
    const bool oauth =
        account.imapAuth == ImapAuth::OAuth2 ||
        (account.kind == MailAccountKind::Smtp && account.smtpAuth == ImapAuth::OAuth2);
    // A password account's file stays as it was; a sign-in's settings are kept once chosen.
    if (!oauth)
        return;
    store.write(section, QStringLiteral("OAuth2Provider"), providerName(account.oauthProvider));
    store.write(section, QStringLiteral("OAuth2ClientId"), account.oauthClientId);
    store.write(section, QStringLiteral("OAuth2ClientSecret"), account.oauthClientSecret);
    store.write(section, QStringLiteral("OAuth2AuthorizeUrl"), account.oauthAuthorizeUrl);
    store.write(section, QStringLiteral("OAuth2TokenUrl"), account.oauthTokenUrl);
    store.write(section, QStringLiteral("OAuth2Scope"), account.oauthScope);
    store.write(section, QStringLiteral("TokenCommand"), account.tokenCommand);
}

QString trustedAuthoritiesFile(const MailAccount &account)
{
    return account.caFile.isEmpty() ? QString() : expandHome(account.caFile);
}

bool isLoopbackHost(const QString &host)
{
    QString name = host.trimmed().toLower();
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    if (name == QLatin1String("localhost") || name == QLatin1String("localhost."))
        return true;
    const QByteArray text = name.toLatin1();
    in_addr v4 = {};
    if (::inet_pton(AF_INET, text.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6 = {};
    if (::inet_pton(AF_INET6, text.constData(), &v6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&v6);
    return false;
}

QString providerName(OAuthProvider provider)
{
    switch (provider) {
    case OAuthProvider::Microsoft:
        return QStringLiteral("microsoft");
    case OAuthProvider::Google:
        return QStringLiteral("google");
    case OAuthProvider::Custom:
        return QStringLiteral("custom");
    }
    return QString();
}

QString oauthTokenKey(const MailAccount &account)
{
    return QStringLiteral("imap-oauth2://%1@%2:%3")
        .arg(account.imapUser, account.imapHost.toLower())
        .arg(account.imapPort);
}

QString passwordKey(const MailAccount &account)
{
    return QStringLiteral("imap://%1@%2:%3")
        .arg(account.imapUser, account.imapHost.toLower())
        .arg(account.imapPort);
}
