#pragma once

#include "common/FileDescriptor.h"

#include <QString>

#include <cstdint>
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

// What tells whether a file changed: the same file (device and inode), size and modification
// time to the nanosecond.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;

    bool operator==(const FileIdentity &) const = default;
};

FileIdentity identityOf(const struct stat &status);

// The identity of the regular file at the path as it is now, looked up without opening it.
// Throws Failure like openRegularFile.
FileIdentity currentIdentity(const QString &path);
