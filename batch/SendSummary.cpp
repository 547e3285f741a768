#include "batch/SendSummary.h"

#include "batch/SendRemainder.h"

#include <algorithm>

namespace {

QString messages(int count)
{
    return count == 1 ? QStringLiteral("message") : QStringLiteral("messages");
}

// Enough names to tick again by hand without the line running off the window.
constexpr int namesShown = 5;

} // namespace

QString sendStoppedText(int filed, int planned, const QStringList &unsentFiles)
{
    // A cancel between planning and the first report may know fewer planned than filed.
    planned = std::max(planned, filed);
    QString text = QStringLiteral("Stopped: %1 of %2 %3 filed.")
                       .arg(filed)
                       .arg(planned)
                       .arg(messages(planned));
    if (unsentFiles.isEmpty())
        return text;
    text +=
        QStringLiteral(" Not sent: ") + unsentFiles.mid(0, namesShown).join(QStringLiteral(", "));
    if (unsentFiles.size() > namesShown)
        text += QStringLiteral(" and %1 more").arg(unsentFiles.size() - namesShown);
    return text;
}

QString sendRemainderText(const SendRemainder &rest, bool sent, bool cancelled)
{
    const int planned = std::max(rest.messagesPlanned, rest.messagesFiled);
    const QString verb = sent ? QStringLiteral("sent") : QStringLiteral("filed");
    QString text;
    if (cancelled) {
        text = sendStoppedText(rest.messagesFiled, planned, {});
        if (sent)
            text.replace(QLatin1String(" filed."), QLatin1String(" sent."));
    } else {
        text = QStringLiteral("%1 %2 of %3 %4.")
                   .arg(sent ? QStringLiteral("Sent") : QStringLiteral("Filed"))
                   .arg(rest.messagesFiled)
                   .arg(planned)
                   .arg(messages(planned));
    }
    if (!rest.unsentFiles.isEmpty())
        text += QStringLiteral(" The files not %1 are still ticked: press Send to %2 them.")
                    .arg(verb, sent ? QStringLiteral("send") : QStringLiteral("file"));
    if (!rest.uncertainSubjects.isEmpty()) {
        QStringList quoted;
        for (const QString &subject : rest.uncertainSubjects)
            quoted << QStringLiteral("\"%1\"").arg(subject);
        text += QStringLiteral(" %1 may have been %2: check before sending %3 files again; they "
                               "are unticked.")
                    .arg(quoted.join(QStringLiteral(", ")), verb,
                         quoted.size() == 1 ? QStringLiteral("its") : QStringLiteral("their"));
    }
    return text;
}

QString outcomeLine(const QString &timeOfDay, const QString &summary)
{
    return timeOfDay + QStringLiteral(" \u2014 ") + summary;
}

QString keepPathWhole(const QString &text)
{
    qsizetype start = text.indexOf(QLatin1String(" ~/"));
    if (const qsizetype slash = text.indexOf(QLatin1String(" /"));
        slash >= 0 && (start < 0 || slash < start))
        start = slash;
    if (start < 0)
        return text;
    QString kept = text.left(start + 1);
    const QChar wordJoiner(0x2060);
    for (const QChar c : QStringView(text).mid(start + 1)) {
        if (c == QLatin1Char(' ')) {
            kept += QChar(0x00A0);
            continue;
        }
        kept += c;
        // Line breaking allows a break after these; the joiner takes that away.
        if (!c.isLetterOrNumber())
            kept += wordJoiner;
    }
    return kept;
}
