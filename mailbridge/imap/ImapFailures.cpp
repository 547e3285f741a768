#include "mailbridge/imap/ImapFailures.h"

#include <curl/curl.h>

namespace {

QString where(const ImapEndpoint &endpoint)
{
    return QStringLiteral("%1 port %2").arg(endpoint.host).arg(endpoint.port);
}

const QString misbehaves = QStringLiteral("The server does not behave as an IMAP server should; "
                                          "the connection to it was dropped.");

} // namespace

namespace imapFailure {

const QString keepsNothing = QStringLiteral(" The server keeps nothing of a message it did not "
                                            "receive whole; try again when it is back.");

QString lost(const ImapEndpoint &endpoint, const QString &doing, const QString &detail,
             const QByteArray &lastWords)
{
    const QString said =
        lastWords.isEmpty()
            ? QString()
            : QStringLiteral(" The server's last words: \"%1\".").arg(QString::fromUtf8(lastWords));
    return QStringLiteral("Cannot %1: the connection to %2 was lost (%3).%4%5")
        .arg(doing, where(endpoint), detail, said, keepsNothing);
}

QString duration(std::chrono::seconds span)
{
    const auto seconds = span.count();
    if (seconds == 60)
        return QStringLiteral("a minute");
    if (seconds % 60 == 0)
        return QStringLiteral("%1 minutes").arg(seconds / 60);
    return QStringLiteral("%1 seconds").arg(seconds);
}

QString silent(const ImapEndpoint &endpoint, const QString &doing, std::chrono::seconds bound)
{
    return QStringLiteral("Cannot %1: %2 stopped answering for %3. Try again later.")
        .arg(doing, where(endpoint), duration(bound));
}

QString overDeadline(const ImapEndpoint &endpoint, const QString &doing, std::chrono::seconds bound)
{
    return QStringLiteral("Cannot %1: %2 did not finish its answer within %3. %4")
        .arg(doing, where(endpoint), duration(bound), misbehaves);
}

QString unreadable(const ImapEndpoint &endpoint, const QString &doing, const QString &what)
{
    return QStringLiteral("Cannot %1: %2 sent %3. %4")
        .arg(doing, where(endpoint), what, misbehaves);
}

QString refused(const ImapEndpoint &endpoint, const QString &doing, const ImapResponse &answer)
{
    const QString account = describeAccount(endpoint);
    const QString said = QString::fromUtf8(answer.statusLine());
    const QByteArray code = answer.codeName();
    QString why;
    if (code == "OVERQUOTA")
        why = QStringLiteral("the mailbox of %1 is full: the server said \"%2\". Delete or move "
                             "mail on the server, or ask for more space.")
                  .arg(account, said);
    else if (code == "LIMIT" || code == "TOOBIG")
        why = QStringLiteral("the server takes no message this large: it said \"%1\". Lower the "
                             "size limit per message.")
                  .arg(said);
    else if (code == "TRYCREATE" || code == "NONEXISTENT")
        why = QStringLiteral("the folder does not exist in %1: the server said \"%2\". Create "
                             "it in your mail client, or change the folder in the mail account.")
                  .arg(account, said);
    else
        why = QStringLiteral("the server said \"%1\".").arg(said);
    return QStringLiteral("Cannot %1: %2").arg(doing, why);
}

QString connecting(const ImapEndpoint &endpoint, const QString &doing, int curlCode,
                   const QString &detail, const QByteArray &saidBytes)
{
    const QString said = QString::fromUtf8(saidBytes);
    QString why;
    switch (CURLcode(curlCode)) {
    case CURLE_COULDNT_RESOLVE_HOST:
        why = QStringLiteral("the server name %1 is unknown (%2). Check the server in the mail "
                             "account, and that this computer is online.")
                  .arg(endpoint.host, detail);
        break;
    case CURLE_COULDNT_CONNECT:
        why = QStringLiteral("nothing answers at %1 (%2). Check the server and port in the mail "
                             "account, and that this computer is online.")
                  .arg(where(endpoint), detail);
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
        why = QStringLiteral("the certificate of %1 does not prove it is that server (%2). Nothing "
                             "is sent to a server that cannot be identified: check the server "
                             "name; if it is right, the connection may be intercepted.")
                  .arg(endpoint.host, detail);
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
        why = QStringLiteral("no secure connection could be made with %1 (%2). Check that the "
                             "security matches the port (TLS is usually 993, STARTTLS 143).")
                  .arg(where(endpoint), detail);
        break;
    case CURLE_USE_SSL_FAILED:
        why = QStringLiteral("%1 does not offer STARTTLS, and the password is not sent without "
                             "encryption. Choose TLS (usually port 993).")
                  .arg(where(endpoint));
        break;
    case CURLE_OPERATION_TIMEDOUT:
        why = QStringLiteral("%1 stopped answering (%2). Try again later.")
                  .arg(where(endpoint), detail);
        break;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
        return lost(endpoint, doing, detail, QByteArray());
    default:
        why = said.isEmpty() ? detail + QLatin1Char('.')
                             : QStringLiteral("the server said \"%1\" (%2).").arg(said, detail);
    }
    return QStringLiteral("Cannot %1: %2").arg(doing, why);
}

} // namespace imapFailure
