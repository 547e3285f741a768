#pragma once

#include "mailbridge/compose/GObjectPtr.h"

#include <QString>

#include <exception>
#include <optional>

#include "mailbridge/compose/GMimeHeaders.h"

// A write-only GMime stream onto a file descriptor it does not own, written by a thread of
// its own through a few large blocks (BlockWriter.h). A failed write sticks: every later
// call fails too. The thread ends when the stream is finished or released.
GObjectPtr<GMimeStream> openFileOutputStream(int fd, const QString &path);

// Writes out what is buffered and ends the writer thread; throws the Failure (naming the
// path) of this or any earlier write. Throws Failure too for a stream of another type.
void finishFileOutputStream(GMimeStream *stream);

// What made a call on the stream fail (a Failure naming the path); null when nothing failed
// or the stream is of another type.
std::exception_ptr fileOutputStreamFailure(GMimeStream *stream);

// Copies content from its current position to its end, the content stream writing straight
// into the output's blocks; the bytes copied or -1 on failure (kept by whichever stream
// failed). Nothing when the output is not a file output stream.
std::optional<ssize_t> copyIntoFileOutputStream(GMimeStream *output, GMimeStream *content);
