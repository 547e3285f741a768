#pragma once

#include "batch/SendRequest.h"

#include <cstdint>
#include <vector>

class FileSystem;

struct PlannedFile
{
    QString name; // as the list holds it
    QString path;
    std::int64_t size = 0;
};

// One message of a Send: its files in list order and their total.
struct PlannedMessage
{
    std::vector<PlannedFile> files;
    std::int64_t bytes = 0;
    QString subject; // the prefix, then the shown names separated by ","
};

struct BatchPlan
{
    std::vector<PlannedMessage> messages;
    std::int64_t totalBytes = 0;
    int fileCount = 0;
};

// The split a Send makes, worked out from the sizes alone before anything is created: the
// ticked files in list order, a message closing as soon as its files reach the limit (a file
// larger than the limit closes the message it joins). Throws Refusal for a size text that is
// not a number and a message whose files add up to more than 2,147,483,647 bytes, Failure for
// a file whose size cannot be read.
BatchPlan planBatch(const SendRequest &request, const FileSystem &files);
