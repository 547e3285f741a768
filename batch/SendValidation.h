#pragma once

#include "batch/SendRequest.h"

#include <optional>

// The message of the first entry check a Send fails, or nothing when it may go ahead.
std::optional<QString> refusalFor(const SendRequest &request);
