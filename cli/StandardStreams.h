#pragma once

#include <cstdio>

// Started with standard input, output or error closed, the next file opened would get its
// number, and whatever is written to that stream would land in it (a message being filed,
// say). Each closed one is given /dev/null opened read-only instead: reading gives nothing,
// and writing fails, so output that cannot go anywhere is still noticed.
void reserveStandardStreams();

// Flushes the stream; false, with errno set, when any write to it failed.
bool flushedWithoutError(std::FILE *stream);
