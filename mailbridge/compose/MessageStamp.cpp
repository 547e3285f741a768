#include "mailbridge/compose/MessageStamp.h"

#include "mailbridge/compose/GMimeHeaders.h"
#include "mailbridge/compose/GMimeLibrary.h"

#include <QRandomGenerator>
#include <QSysInfo>

namespace {

QString hostName()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("localhost") : host;
}

// "=-" can start no line of base64 text, so the boundary never turns up inside a part.
QString newBoundary()
{
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+_";
    QString boundary = QStringLiteral("=-");
    for (int i = 0; i < 24; ++i)
        boundary += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(64)]);
    return boundary;
}

// Of one length always, unlike GMime's, so a message's size can be told before it is made
// (the dry run, a server's size limit): 26 random letters and digits are 130 bits.
QString newMessageId()
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz234567";
    QString id;
    for (int i = 0; i < 26; ++i)
        id += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(32)]);
    return id + QLatin1Char('@') + hostName();
}

} // namespace

MessageStamp newMessageStamp()
{
    initGMime();
    const QDateTime now = QDateTime::currentDateTime();
    MessageStamp stamp;
    // Whole seconds, as the Date header shows them, at the offset the local zone has now.
    stamp.date = QDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch(), Qt::OffsetFromUTC,
                                               now.offsetFromUtc());
    stamp.messageId = newMessageId();
    stamp.boundary = newBoundary();
    return stamp;
}
