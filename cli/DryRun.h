#pragma once

#include <QString>

struct BatchPlan;
struct SendRequest;

#include <cstdint>
#include <vector>

// The split a Send would make, for a person and for scripts, with the exact size each
// message will have as mail (composedSizes).
QString dryRunText(const BatchPlan &plan, const std::vector<std::uint64_t> &mailSizes);
QString dryRunJson(const BatchPlan &plan, const std::vector<std::uint64_t> &mailSizes);
