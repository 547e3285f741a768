#pragma once

#include "common/FileDescriptor.h"

#include <QString>

#include <sys/stat.h>

// A file opened for reading after checking it is a regular file, with its status then.
struct RegularFile
{
    FileDescriptor fd;
    struct stat status = {};
};

// Opens the path for reading. Never blocks, also on a FIFO; throws Failure naming the path
// and the reason when it cannot be opened or is not a regular file.
RegularFile openRegularFile(const QString &path);
