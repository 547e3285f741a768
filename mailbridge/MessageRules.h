#pragma once

#include "mailbridge/LineEnding.h"

#include <QString>

#include <cstdint>
#include <optional>

// What the messages' writer can carry and how large it makes them, for a Send to check what
// was typed and estimate its messages before anything is written.
class MessageRules
{
public:
    virtual ~MessageRules() = default;

    // True when the recipient or sender text gives at least one real mailbox address.
    virtual bool hasAddress(const QString &text) const = 0;
    // Why the address text cannot be written, quoting it; nothing when it can.
    virtual std::optional<QString> addressTextProblem(const QString &text) const = 0;
    // Why a subject (or subject prefix) cannot be written, quoting it; nothing when it can.
    virtual std::optional<QString> headerTextProblem(const QString &text) const = 0;

    // About the bytes a message of files of these total sizes takes as mail, its lines ended
    // so; close enough for "about", not for a limit.
    virtual std::int64_t mailBytesEstimate(std::int64_t fileBytes, int files,
                                           LineEnding ending) const = 0;
};
