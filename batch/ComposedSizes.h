#pragma once

#include <cstdint>
#include <vector>

struct BatchPlan;
struct SendRequest;

// The exact size each planned message will have as mail, composed from the files' sizes and
// first bytes without reading them whole. Throws Failure for a file that cannot be attached.
std::vector<std::uint64_t> composedSizes(const BatchPlan &plan, const SendRequest &request);
