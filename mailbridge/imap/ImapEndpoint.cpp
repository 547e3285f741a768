#include "mailbridge/imap/ImapEndpoint.h"

ImapEndpoint imapEndpoint(const MailAccount &account)
{
    ImapEndpoint endpoint;
    endpoint.host = account.imapHost;
    endpoint.port = account.imapPort;
    endpoint.security = account.imapSecurity;
    endpoint.user = account.imapUser;
    endpoint.folder = account.imapFolder;
    endpoint.caFile = trustedAuthoritiesFile(account);
    return endpoint;
}

QString describeAccount(const ImapEndpoint &endpoint)
{
    QString text = QStringLiteral("%1 at %2").arg(endpoint.user, endpoint.host);
    if (endpoint.port != defaultImapPort(endpoint.security))
        text += QStringLiteral(" port %1").arg(endpoint.port);
    return text;
}

ImapEndpoint sentFolderOf(ImapEndpoint endpoint)
{
    endpoint.role = FolderRole::Sent;
    endpoint.folder.clear();
    return endpoint;
}

QString draftsDestination(const ImapEndpoint &endpoint)
{
    if (endpoint.folder.isEmpty())
        return QStringLiteral("the Drafts folder of %1").arg(describeAccount(endpoint));
    return QStringLiteral("the folder \"%1\" of %2")
        .arg(endpoint.folder, describeAccount(endpoint));
}
