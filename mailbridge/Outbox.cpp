#include "mailbridge/Outbox.h"

#include "common/FileNameCodec.h"
#include "mailbridge/DeliveryWords.h"

#include <QFileInfo>

void Outbox::checkSizes(const std::vector<Draft> &drafts)
{
    const auto limit = messageSizeLimit();
    if (!limit)
        return;
    for (const Draft &message : drafts) {
        const std::uint64_t size = storedSize(message);
        if (size <= *limit)
            continue;
        QStringList names;
        for (const QString &path : message.attachmentPaths)
            names << displayFileName(QFileInfo(path).fileName());
        throw Failure(QStringLiteral("The message \"%1\" (%2) would be %3 bytes as mail, more "
                                     "than the %4 bytes %5 takes. Lower the maximum message "
                                     "size, or send those files another way.")
                          .arg(message.subject, names.join(QStringLiteral(", ")))
                          .arg(size)
                          .arg(*limit)
                          .arg(destination()));
    }
}

QString Outbox::deliveredText(int messages, const QString &) const
{
    if (sendsOn())
        return QStringLiteral("Sent through %1: %2")
            .arg(destination(), countOf(messages, QStringLiteral("message")));
    // Kept neither here nor sent on, they wait on a server for a person to send them.
    const QString noun =
        localFolder().isEmpty() ? QStringLiteral("draft") : QStringLiteral("message");
    return QStringLiteral("%1 in %2").arg(countOf(messages, noun), destination());
}
