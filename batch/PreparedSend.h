#pragma once

#include "batch/BatchPlan.h"
#include "batch/SendRequest.h"
#include "mailbridge/Draft.h"

#include <QDateTime>

#include <vector>

class FileSystem;
class MessageRules;

// A Send that passed its entry checks, with its split worked out: made once per Send, then
// used by whatever sends, sizes or shows it.
struct PreparedSend
{
    SendRequest request;
    BatchPlan plan;
    QDateTime date; // when it was prepared: the batch's date in every message
    // The messages before this one went in an earlier run of the same batch: only the rest
    // goes, each still numbered and dated as one of the whole batch.
    std::size_t firstMessage = 0;
};

// Runs the entry checks once, then plans the split; nothing is created either way. Throws
// Refusal when a check fails, the size text is no number or a message would be too large,
// Failure when a file's size cannot be read. The rules are the outbox's (Outbox::messageRules).
PreparedSend prepareSend(SendRequest request, const FileSystem &files, const MessageRules &rules);

// The planned messages as the outbox will get them, for it to size and file them; with the
// request's manifest, each says which message of the batch it is.
std::vector<Draft> draftsOf(const PreparedSend &send);
