#include "cli/DryRun.h"

#include "batch/BatchPlan.h"
#include "cli/SizeChoice.h"
#include "common/FileNameCodec.h"
#include "common/OneLineText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString grouped(std::int64_t n)
{
    return QString::number(qlonglong(n));
}

QJsonObject sizeLimitJson(const SizeChoice &size)
{
    const char *from = size.from == SizeChoice::From::Option     ? "option"
                       : size.from == SizeChoice::From::Settings ? "settings"
                                                                 : "default";
    return QJsonObject{{QStringLiteral("kilobytes"), size.text.toDouble()},
                       {QStringLiteral("from"), QLatin1String(from)}};
}

} // namespace

QString dryRunText(const BatchPlan &plan, const std::vector<std::uint64_t> &mailSizes,
                   const SizeChoice &size)
{
    std::uint64_t mailTotal = 0;
    QString text;
    const auto count = plan.messages.size();
    for (std::size_t i = 0; i < count; ++i) {
        const PlannedMessage &message = plan.messages[i];
        text += QStringLiteral("Message %1 of %2: %3\n")
                    .arg(i + 1)
                    .arg(count)
                    .arg(oneLineText(message.subject));
        for (const PlannedFile &file : message.files)
            text += QStringLiteral("  %1  %2 bytes\n")
                        .arg(oneLineText(displayFileName(file.name)), grouped(file.size));
        text += QStringLiteral("  files %1 bytes; as mail %2 bytes\n")
                    .arg(grouped(message.bytes))
                    .arg(mailSizes[i]);
        mailTotal += mailSizes[i];
    }
    text += QStringLiteral("%1 %2 in %3 %4; files %5 bytes; as mail %6 bytes\n")
                .arg(plan.fileCount)
                .arg(QLatin1String(plan.fileCount == 1 ? "file" : "files"))
                .arg(count)
                .arg(QLatin1String(count == 1 ? "message" : "messages"))
                .arg(grouped(plan.totalBytes))
                .arg(mailTotal);
    text += QStringLiteral("Size limit: %1 kb, %2\n").arg(size.text.trimmed(), size.origin());
    return text;
}

QString dryRunJson(const BatchPlan &plan, const std::vector<std::uint64_t> &mailSizes,
                   const SizeChoice &size)
{
    QJsonArray messages;
    qint64 mailTotal = 0;
    for (std::size_t i = 0; i < plan.messages.size(); ++i) {
        const PlannedMessage &message = plan.messages[i];
        mailTotal += qint64(mailSizes[i]);
        QJsonArray files;
        for (const PlannedFile &file : message.files)
            files.append(QJsonObject{{QStringLiteral("name"), displayFileName(file.name)},
                                     {QStringLiteral("size"), qint64(file.size)}});
        messages.append(QJsonObject{{QStringLiteral("subject"), message.subject},
                                    {QStringLiteral("files"), files},
                                    {QStringLiteral("bytes"), qint64(message.bytes)},
                                    {QStringLiteral("mailBytes"), qint64(mailSizes[i])}});
    }
    const QJsonObject root{{QStringLiteral("messages"), messages},
                           {QStringLiteral("files"), plan.fileCount},
                           {QStringLiteral("bytes"), qint64(plan.totalBytes)},
                           {QStringLiteral("mailBytes"), mailTotal},
                           {QStringLiteral("sizeLimit"), sizeLimitJson(size)}};
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}
