#pragma once

#include <QString>

struct BatchPlan;
struct SizeChoice;

#include <cstdint>
#include <vector>

// The split a Send would make, for a person and for scripts, with the exact size each
// message will have where the outbox files it (Outbox::storedSize). The text shows
// control characters in names escaped, one message to a line; the JSON keeps them exact.
// Both end with the size limit used and where it came from.
QString dryRunText(const BatchPlan &plan, const std::vector<std::uint64_t> &mailSizes,
                   const SizeChoice &size);
QString dryRunJson(const BatchPlan &plan, const std::vector<std::uint64_t> &mailSizes,
                   const SizeChoice &size);
