#pragma once

#include "batch/BatchPlan.h"
#include "batch/SendRequest.h"
#include "mailbridge/Draft.h"

#include <vector>

class FileSystem;

// A Send that passed its entry checks, with its split worked out: made once per Send, then
// used by whatever sends, sizes or shows it.
struct PreparedSend
{
    SendRequest request;
    BatchPlan plan;
};

// Runs the entry checks once, then plans the split; nothing is created either way. Throws
// Refusal when a check fails, the size text is no number or a message would be too large,
// Failure when a file's size cannot be read.
PreparedSend prepareSend(SendRequest request, const FileSystem &files);

// The planned messages as the outbox will get them, for it to size them.
std::vector<Draft> draftsOf(const PreparedSend &send);
