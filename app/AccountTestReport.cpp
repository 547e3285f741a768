#include "app/AccountTestReport.h"

#include "batch/SendStatus.h"
#include "mailbridge/imap/ImapAccountCheck.h"

#include <QStringList>

AccountTestReport accountTestReport(const ImapAccountCheck &check, const QString &user,
                                    const QString &host)
{
    AccountTestReport report;
    report.lines = QStringLiteral("Logged in as %1 on %2.\nDrafts go to \"%3\" (%4).\n")
                       .arg(user, host, check.folder, check.folderChoice);
    report.lines += check.appendLimit
                        ? QStringLiteral("The server takes messages of up to %1.")
                              .arg(byteText(std::int64_t(*check.appendLimit)))
                        : QStringLiteral("The server states no size limit for messages.");
    report.details = QStringLiteral("The server greeted: %1\n\nCapabilities:\n%2")
                         .arg(check.greeting.trimmed(),
                              check.capabilities.split(' ', Qt::SkipEmptyParts).join('\n'));
    return report;
}

AccountTestReport smtpTestReport(std::optional<std::uint64_t> limit, const QString &user,
                                 const QString &host)
{
    AccountTestReport report;
    report.lines = user.isEmpty() ? QStringLiteral("Connected to %1, without a login.\n").arg(host)
                                  : QStringLiteral("Logged in as %1 on %2.\n").arg(user, host);
    report.lines += limit ? QStringLiteral("The server takes messages of up to %1.")
                                .arg(byteText(std::int64_t(*limit)))
                          : QStringLiteral("The server states no size limit for messages.");
    return report;
}

AccountTestReport combinedReport(const std::vector<ServerTestPart> &parts)
{
    if (parts.size() == 1)
        return parts.front().report;
    QStringList lines;
    QStringList details;
    for (const ServerTestPart &part : parts) {
        lines << part.heading + QStringLiteral(":\n") + part.report.lines;
        if (!part.report.details.isEmpty())
            details << part.heading + QStringLiteral(":\n") + part.report.details;
    }
    return {lines.join(QStringLiteral("\n\n")), details.join(QStringLiteral("\n\n"))};
}
