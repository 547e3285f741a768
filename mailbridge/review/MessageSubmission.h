#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

class TransferMonitor;

// A server that sends a finished message on to its recipients: the account's submission
// server, as review-then-send uses it.
class MessageSubmission
{
public:
    virtual ~MessageSubmission() = default;

    using Sink = std::function<void(const char *, std::size_t)>;
    // Sends exactly size bytes, CRLF, which write hands to the sink it is given, from sender
    // to each recipient. description names the message in failures. Throws SendCancelled or
    // Failure when the server did not take it, PerhapsFiled ("May have been sent") when its
    // end went out and the answer was lost: it is never sent twice by itself.
    virtual void submit(const QString &sender, const QStringList &recipients, std::uint64_t size,
                        const QString &description, const std::function<void(const Sink &)> &write,
                        TransferMonitor &monitor) = 0;
    // The largest message the server takes, when it says (SIZE).
    virtual std::optional<std::uint64_t> messageSizeLimit() = 0;
    // As a person reads it after "through": "the mail server smtp.example.org as me".
    virtual QString destination() const = 0;
    virtual void setCancelCheck(std::function<bool()> cancelled) = 0;
};
