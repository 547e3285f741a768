#pragma once

#include "mailbridge/MailAccount.h"
#include "mailbridge/imap/FolderChoice.h"

#include <QString>

// What a session needs to reach one account's folder.
struct ImapEndpoint
{
    QString host;
    int port = 993;
    ImapSecurity security = ImapSecurity::Tls;
    QString user;
    // What the messages filed are for: the folder and the flags follow from it.
    FolderRole role = FolderRole::Drafts;
    QString folder; // empty: the folder the server marks for the role, else its usual name
    // A PEM file of certificate authorities to trust besides the system's (a private CA, the
    // tests'). The server's certificate is always verified and its name checked.
    QString caFile;
};

ImapEndpoint imapEndpoint(const MailAccount &account);

// "me@example.org at imap.example.org", the port added when it is not the usual one.
QString describeAccount(const ImapEndpoint &endpoint);

// The same account's Sent folder: the one the server marks \Sent, else "Sent" (see
// FolderChoice). ImapFolder names the drafts' folder, not this one.
ImapEndpoint sentFolderOf(ImapEndpoint endpoint);

// Where drafts are, as a person reads it after "in": "the Drafts folder of me@example.org at
// imap.example.org", or the folder set in the account.
QString draftsDestination(const ImapEndpoint &endpoint);
