#pragma once

#include <QString>

#include <cstddef>
#include <sys/types.h>

// The one place that repeats system calls cut short by a signal or by a partial transfer.
// Both throw Failure naming the path and the system's reason.

// Reads from offset until length bytes or the end of the file; returns how many it read.
std::size_t readFully(int fd, void *buffer, std::size_t length, off_t offset, const QString &path);

// Writes all of data at the descriptor's current position.
void writeFully(int fd, const void *data, std::size_t length, const QString &path);
