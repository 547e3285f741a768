#pragma once

#include <QString>

struct BatchPlan;
struct SendRequest;

#include <cstdint>
#include <vector>

// The split a Send would make, for a person and for scripts, with the exact size each
// message will have as mail (composed from the files' sizes and first bytes, not read whole).
// Throws Failure for a file that cannot be attached.
std::vector<std::uint64_t> mailSizes(const BatchPlan &plan, const SendRequest &request);
QString dryRunText(const BatchPlan &plan, const std::vector<std::uint64_t> &mailSizes);
QString dryRunJson(const BatchPlan &plan, const std::vector<std::uint64_t> &mailSizes);
