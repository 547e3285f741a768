#include "batch/SendValidation.h"

#include "filelist/Sentinels.h"

#include <algorithm>

std::optional<QString> refusalFor(const SendRequest &request)
{
    const QString noFiles = QStringLiteral("No files selected!");
    if (request.entries.empty())
        return noFiles;
    if (request.sender.isEmpty())
        return QStringLiteral("You must enter who the messages are from.");
    if (request.recipient.isEmpty())
        return QStringLiteral("You must say who the messages are to.");
    if (request.listState != ListState::Files)
        return QStringLiteral("Not a valid folder!");
    // Nothing ticked would only send an empty message.
    if (std::none_of(request.entries.begin(), request.entries.end(),
                     [](const FileLine &line) { return line.ticked; }))
        return noFiles;
    return std::nullopt;
}
