#pragma once

#include <QString>

class SettingsStore;

enum class MailAccountKind
{
    Maildir,
    Imap,
    Smtp,    // sent at once through the account's submission server
    Sendmail // piped to this machine's mail transfer program
};

enum class ImapSecurity
{
    Tls,      // TLS from the first byte (imaps)
    StartTls, // plain connection upgraded with STARTTLS before the login
    None      // no encryption: loopback addresses only
};

// How the IMAP login proves who it is.
enum class ImapAuth
{
    Password,
    OAuth2 // an access token from a sign-in in the browser, or from TokenCommand
};

// Whose authorization server an OAuth 2.0 sign-in goes to.
enum class OAuthProvider
{
    Microsoft,
    Google,
    Custom // the URLs and scope come from the settings
};

// Whether a message sent through the submission server is also kept, as a copy, in the IMAP
// account's Sent folder. Auto: unless the provider's server does that by itself.
enum class SaveSentCopy
{
    Auto,
    Yes,
    No
};

// Where the Send files messages, as section [MailClient] of the settings keeps it. The
// password is never part of it: it lives in the keyring or comes from PasswordCommand; nor is
// an OAuth 2.0 token, which lives in the keyring or comes from TokenCommand.
struct MailAccount
{
    MailAccountKind kind = MailAccountKind::Maildir;
    QString outbox; // the Maildir folder as set; empty for the default
    QString imapHost;
    int imapPort = 993;
    ImapSecurity imapSecurity = ImapSecurity::Tls;
    QString imapUser;
    QString imapFolder;      // empty: the folder the server marks \Drafts, else "Drafts"
    QString passwordCommand; // run with /bin/sh -c; its first output line is the password
    ImapAuth imapAuth = ImapAuth::Password;
    OAuthProvider oauthProvider = OAuthProvider::Microsoft;
    QString oauthClientId;     // empty: the one built into the program, if any
    QString oauthClientSecret; // where the provider wants one from desktop programs (Google)
    QString oauthAuthorizeUrl; // custom provider only, as are the two below
    QString oauthTokenUrl;
    QString oauthScope;
    QString tokenCommand; // run like passwordCommand; its first line is the access token
    QString smtpHost;
    int smtpPort = 465;
    ImapSecurity smtpSecurity = ImapSecurity::Tls;
    QString smtpUser; // empty: imapUser; both empty: no login
    ImapAuth smtpAuth = ImapAuth::Password;
    SaveSentCopy saveSentCopy = SaveSentCopy::Auto; // with IMAP settings beside SMTP's
    QString sendmailCommand; // run with /bin/sh -c, exactly as written; empty: the default
    // A PEM file of certificate authorities trusted besides the system's, for a server with
    // an authority of its own; "~/" stands for the home folder. Empty: the system's alone.
    QString caFile;
};

// The CaFile to hand to a connection: with "~" expanded.
QString trustedAuthoritiesFile(const MailAccount &account);

int defaultSmtpPort(ImapSecurity security);
// The name the SMTP login uses: SmtpUser, else ImapUser.
QString smtpLoginUser(const MailAccount &account);
// Whether an account that sends through SMTP can also reach its IMAP folders (for the copies
// of what it sent).
bool hasImapSettings(const MailAccount &account);
// Whether the account logs in with an OAuth 2.0 token where it files or sends.
bool usesOAuth(const MailAccount &account);

int defaultImapPort(ImapSecurity security);

// Reads [MailClient]; absent keys take their defaults. Throws Failure naming the key and the
// value for a Kind, ImapSecurity, ImapPort, ImapAuth, OAuth2Provider or SaveSentCopy it does
// not understand, and the same for the Smtp keys. PasswordCommand, TokenCommand and
// SendmailCommand are read exactly as written in the file.
MailAccount readMailAccount(const SettingsStore &store);
// Checks the account (checkMailAccount), then writes every key of it; the OAuth 2.0 keys only
// for an account that signs in with it.
void writeMailAccount(SettingsStore &store, const MailAccount &account);
// Throws Failure when an IMAP account lacks host or user, has a port out of range, would
// send the password or token unencrypted to anything but this machine, or signs in with a
// custom provider whose URLs are missing or not web addresses; the same for an SMTP account's
// server, and a CR, LF or NUL in SmtpUser or SendmailCommand, naming the setting.
void checkMailAccount(const MailAccount &account);

// Whether host names this machine without asking a name server: "localhost", 127.0.0.0/8, ::1.
bool isLoopbackHost(const QString &host);

// The name under which the account's password is kept in a PasswordStore.
QString passwordKey(const MailAccount &account);

// The name under which the refresh token of the account's OAuth 2.0 sign-in is kept.
QString oauthTokenKey(const MailAccount &account);

QString securityName(ImapSecurity security);
QString kindName(MailAccountKind kind);
QString providerName(OAuthProvider provider);
