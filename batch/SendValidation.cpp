#include "batch/SendValidation.h"

#include "filelist/Sentinels.h"
#include "mailbridge/compose/HeaderChecks.h"

#include <algorithm>

std::optional<QString> refusalFor(const SendRequest &request)
{
    const QString noFiles = QStringLiteral("No files selected!");
    if (request.entries.empty())
        return noFiles;
    // Blanks, or text that holds no address, would give a message with nobody in the field.
    if (request.sender.isEmpty() || !hasAddress(request.sender))
        return QStringLiteral("You must enter who the messages are from.");
    if (request.recipient.isEmpty() || !hasAddress(request.recipient))
        return QStringLiteral("You must say who the messages are to.");
    if (request.listState != ListState::Files)
        return QStringLiteral("Not a valid folder!");
    // Nothing ticked would only send an empty message.
    if (std::none_of(request.entries.begin(), request.entries.end(),
                     [](const FileLine &line) { return line.ticked; }))
        return noFiles;
    // What no message can carry is refused here rather than cut or mangled on the way.
    const std::pair<QString, std::optional<QString>> problems[] = {
        {QStringLiteral("Send from"), addressTextProblem(request.sender)},
        {QStringLiteral("Send to"), addressTextProblem(request.recipient)},
        {QStringLiteral("Subject (Prefix)"), headerTextProblem(request.subjectPrefix)},
    };
    for (const auto &[field, problem] : problems)
        if (problem)
            return QStringLiteral("%1: %2").arg(field, *problem);
    return std::nullopt;
}
