#include "mailbridge/Outbox.h"

#include "common/FileNameCodec.h"

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
