#pragma once

#include "mailbridge/compose/GObjectPtr.h"

#include <QString>

#include "mailbridge/compose/GMimeHeaders.h"

// A write-only GMime stream onto a file descriptor it does not own, through one large
// buffer. It asks the kernel to start writing to disk as it goes, so that the fsync at the
// end has little left to wait for. A failed write sticks: every later call fails too.
GObjectPtr<GMimeStream> openFileOutputStream(int fd, const QString &path);

// Writes out what is buffered; throws Failure naming the path when this or any earlier
// write failed.
void finishFileOutputStream(GMimeStream *stream);

// Why a write failed (names the path), or an empty text.
QString fileOutputStreamError(GMimeStream *stream);
