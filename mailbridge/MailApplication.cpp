#include "mailbridge/MailApplication.h"

#include "common/FileNameCodec.h"
#include "mailbridge/compose/Attachment.h"
#include "mailbridge/compose/MessageWriter.h"

#include <QFileInfo>

std::uint64_t MailApplication::storedSize(const OutgoingMessage &message) const
{
    // Composed as the item will compose it; only the stamp differs, and its parts are of
    // fixed length.
    MessageContent content;
    content.to = message.to;
    content.from = message.from;
    content.subject = message.subject;
    for (const QString &path : message.attachmentPaths)
        content.attachments.push_back(inspectForSizing(path));
    return composedSize(content, lineEnding());
}

void MailApplication::checkSizes(const std::vector<OutgoingMessage> &messages)
{
    const auto limit = messageSizeLimit();
    if (!limit)
        return;
    for (const OutgoingMessage &message : messages) {
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

Attachment MailApplication::inspectForSizing(const QString &path) const
{
    return inspectAttachment(path);
}
