#include "batch/SendValidation.h"

#include "filelist/Sentinels.h"
#include "mailbridge/MessageRules.h"

#include <algorithm>

namespace {

// A field left empty gets its own request; text that holds no address is named, so that a
// person sees what was read.
std::optional<QString> addressRefusal(const QString &text, const QString &whenEmpty,
                                      const MessageRules &rules)
{
    const QString typed = text.trimmed();
    if (typed.isEmpty())
        return whenEmpty;
    if (rules.hasAddress(text))
        return std::nullopt;
    // One line, whatever was pasted.
    QString shown = typed;
    shown.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return QStringLiteral("\"%1\" is not an e-mail address.").arg(shown);
}

} // namespace

std::optional<SendRefusal> refusalOf(const SendRequest &request, const MessageRules &rules)
{
    const QString noFiles = QStringLiteral("No files selected!");
    if (request.entries.empty())
        return SendRefusal{noFiles, SendField::Files};
    // Blanks, or text that holds no address, would give a message with nobody in the field.
    if (auto text = addressRefusal(
            request.sender, QStringLiteral("You must enter who the messages are from."), rules))
        return SendRefusal{*text, SendField::Sender};
    if (auto text = addressRefusal(request.recipient,
                                   QStringLiteral("You must say who the messages are to."), rules))
        return SendRefusal{*text, SendField::Recipient};
    if (request.listState != ListState::Files)
        return SendRefusal{QStringLiteral("Not a valid folder!"), SendField::Folder};
    // Nothing ticked would only send an empty message.
    if (std::none_of(request.entries.begin(), request.entries.end(),
                     [](const FileLine &line) { return line.ticked; }))
        return SendRefusal{noFiles, SendField::Files};
    // What no message can carry is refused here rather than cut or mangled on the way.
    const std::tuple<QString, SendField, std::optional<QString>> problems[] = {
        {QStringLiteral("Send from"), SendField::Sender, rules.addressTextProblem(request.sender)},
        {QStringLiteral("Send to"), SendField::Recipient,
         rules.addressTextProblem(request.recipient)},
        {QStringLiteral("Subject (Prefix)"), SendField::Subject,
         rules.headerTextProblem(request.subjectPrefix)},
    };
    for (const auto &[name, field, problem] : problems)
        if (problem)
            return SendRefusal{QStringLiteral("%1: %2").arg(name, *problem), field};
    return std::nullopt;
}

std::optional<QString> refusalFor(const SendRequest &request, const MessageRules &rules)
{
    if (auto refusal = refusalOf(request, rules))
        return refusal->text;
    return std::nullopt;
}

QString nothingFiledText(const QString &description)
{
    const bool closed = description.endsWith(QLatin1Char('.')) ||
                        description.endsWith(QLatin1Char('!')) ||
                        description.endsWith(QLatin1Char('?'));
    return description + (closed ? QStringLiteral(" ") : QStringLiteral(". ")) +
           QStringLiteral("Nothing was filed.");
}
