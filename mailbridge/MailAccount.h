#pragma once

#include <QString>

class SettingsStore;

enum class MailAccountKind
{
    Maildir,
    Imap
};

enum class ImapSecurity
{
    Tls,      // TLS from the first byte (imaps)
    StartTls, // plain connection upgraded with STARTTLS before the login
    None      // no encryption: loopback addresses only
};

// Where the Send files messages, as section [MailClient] of the settings keeps it. The
// password is never part of it: it lives in the keyring or comes from PasswordCommand.
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
};

int defaultImapPort(ImapSecurity security);

// Reads [MailClient]; absent keys take their defaults. Throws Failure naming the key and the
// value for a Kind, ImapSecurity or ImapPort it does not understand.
MailAccount readMailAccount(const SettingsStore &store);
// Checks the account (checkMailAccount), then writes every key of it.
void writeMailAccount(SettingsStore &store, const MailAccount &account);
// Throws Failure when an IMAP account lacks host or user, has a port out of range, or would
// send the password unencrypted to anything but this machine.
void checkMailAccount(const MailAccount &account);

// Whether host names this machine without asking a name server: "localhost", 127.0.0.0/8, ::1.
bool isLoopbackHost(const QString &host);

// The name under which the account's password is kept in a PasswordStore.
QString passwordKey(const MailAccount &account);

QString securityName(ImapSecurity security);
