#include "mailbridge/compose/ComposedMessageRules.h"

#include "mailbridge/compose/Base64Lines.h"
#include "mailbridge/compose/HeaderChecks.h"

namespace {

// Headers of a message (addresses, subject, date, id, MIME) and of one attachment part
// (type, disposition, names, boundary): typical sizes and line counts, enough for "about".
constexpr std::int64_t messageHeaderBytes = 400;
constexpr std::int64_t messageHeaderLines = 10;
constexpr std::int64_t partHeaderBytes = 250;
constexpr std::int64_t partHeaderLines = 6;

} // namespace

bool ComposedMessageRules::hasAddress(const QString &text) const
{
    return ::hasAddress(text);
}

std::optional<QString> ComposedMessageRules::addressTextProblem(const QString &text) const
{
    return ::addressTextProblem(text);
}

std::optional<QString> ComposedMessageRules::headerTextProblem(const QString &text) const
{
    return ::headerTextProblem(text);
}

std::int64_t ComposedMessageRules::mailBytesEstimate(std::int64_t fileBytes, int files,
                                                     LineEnding ending) const
{
    const auto bytes = std::uint64_t(fileBytes);
    std::int64_t estimate =
        std::int64_t(base64LinesSize(bytes)) + messageHeaderBytes + files * partHeaderBytes;
    if (ending == LineEnding::CrLf)
        estimate +=
            std::int64_t(base64LineCount(bytes)) + messageHeaderLines + files * partHeaderLines;
    return estimate;
}

const MessageRules &composedMessageRules()
{
    static const ComposedMessageRules rules;
    return rules;
}
