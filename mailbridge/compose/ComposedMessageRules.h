#pragma once

#include "mailbridge/MessageRules.h"

// The rules of the messages this folder writes: the checks of its headers, the size of its
// base64 lines.
class ComposedMessageRules final : public MessageRules
{
public:
    bool hasAddress(const QString &text) const override;
    std::optional<QString> addressTextProblem(const QString &text) const override;
    std::optional<QString> headerTextProblem(const QString &text) const override;
    // Each file's base64 lines plus an allowance for the headers of the message and of each
    // part; with CRLF, one byte more for each of those lines.
    std::int64_t mailBytesEstimate(std::int64_t fileBytes, int files,
                                   LineEnding ending) const override;
};

// One for all: the rules hold no state.
const MessageRules &composedMessageRules();
