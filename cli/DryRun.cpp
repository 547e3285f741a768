#include "cli/DryRun.h"

#include "batch/BatchPlan.h"
#include "common/FileNameCodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString grouped(std::int64_t n)
{
    return QString::number(qlonglong(n));
}

} // namespace

QString dryRunText(const BatchPlan &plan, const SendRequest &)
{
    QString text;
    const auto count = plan.messages.size();
    for (std::size_t i = 0; i < count; ++i) {
        const PlannedMessage &message = plan.messages[i];
        text += QStringLiteral("Message %1 of %2: %3\n").arg(i + 1).arg(count).arg(message.subject);
        for (const PlannedFile &file : message.files)
            text += QStringLiteral("  %1  %2 bytes\n")
                        .arg(displayFileName(file.name), grouped(file.size));
        text += QStringLiteral("  files: %1 bytes\n").arg(grouped(message.bytes));
    }
    text += QStringLiteral("%1 files in %2 messages; %3 bytes of files\n")
                .arg(plan.fileCount)
                .arg(count)
                .arg(grouped(plan.totalBytes));
    return text;
}

QString dryRunJson(const BatchPlan &plan, const SendRequest &)
{
    QJsonArray messages;
    for (const PlannedMessage &message : plan.messages) {
        QJsonArray files;
        for (const PlannedFile &file : message.files)
            files.append(QJsonObject{{QStringLiteral("name"), displayFileName(file.name)},
                                     {QStringLiteral("size"), qint64(file.size)}});
        messages.append(QJsonObject{{QStringLiteral("subject"), message.subject},
                                    {QStringLiteral("files"), files},
                                    {QStringLiteral("bytes"), qint64(message.bytes)}});
    }
    const QJsonObject root{{QStringLiteral("messages"), messages},
                           {QStringLiteral("files"), plan.fileCount},
                           {QStringLiteral("bytes"), qint64(plan.totalBytes)}};
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}
