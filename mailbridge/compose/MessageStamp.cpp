#include "mailbridge/compose/MessageStamp.h"

#include "mailbridge/compose/GMimeHeaders.h"
#include "mailbridge/compose/GMimeLibrary.h"
#include "mailbridge/compose/GObjectPtr.h"

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

} // namespace

MessageStamp newMessageStamp()
{
    initGMime();
    const GCharPtr messageId(g_mime_utils_generate_message_id(hostName().toUtf8().constData()));
    const QDateTime now = QDateTime::currentDateTime();
    MessageStamp stamp;
    // Whole seconds, as the Date header shows them, at the offset the local zone has now.
    stamp.date = QDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch(), Qt::OffsetFromUTC,
                                               now.offsetFromUtc());
    stamp.messageId = QString::fromUtf8(messageId.get());
    stamp.boundary = newBoundary();
    return stamp;
}
