#pragma once

#include <QString>

struct BatchPlan;
struct SendRequest;

// The split a Send would make, for a person and for scripts.
QString dryRunText(const BatchPlan &plan, const SendRequest &request);
QString dryRunJson(const BatchPlan &plan, const SendRequest &request);
