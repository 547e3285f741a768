#include "mailbridge/EncryptedConnection.h"

#include "common/Failure.h"

void requireEncryptedConnection(const QString &host, ImapSecurity security, const QString &setting)
{
    if (security != ImapSecurity::None || isLoopbackHost(host))
        return;
    throw Failure(QStringLiteral("Refusing to connect to %1 without encryption: the login (its "
                                 "password or sign-in token) and the mail would go unencrypted "
                                 "over the network. %2 \"none\" "
                                 "is allowed only for this machine (localhost, 127.0.0.1, ::1); "
                                 "choose TLS or STARTTLS.")
                      .arg(host, setting));
}
