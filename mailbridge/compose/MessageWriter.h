#pragma once

#include "mailbridge/LineEnding.h"
#include "mailbridge/compose/MessageContent.h"

#include <QString>

#include <cstdint>
#include <functional>

class TransferMonitor;

// Composes the message with GMime and writes it as RFC 5322 text to fd, the file at path:
// From, To, Subject, Date, Message-Id (from the content's stamp), MIME-Version, and a
// multipart/mixed body with one base64 part per attachment (an empty text/plain body
// without attachments). With a manifest, a text part saying what the message holds comes
// first, and a text part with the files' SHA-256 last, computed as the files are read: each
// file is read once. Attachments are read from their files while writing, one open at a
// time, reporting to and obeying the monitor (Base64FileStream.h); memory use does not grow
// with their sizes. Reading and encoding run on this thread, writing on one of its own that
// ends before this returns.
// Throws Failure naming the file at fault, attachment or path, and the reason (also for text
// the header checks refuse); SendCancelled when the monitor asked to stop. Either way part of
// the message may have reached fd.
void writeMessage(const MessageContent &content, int fd, const QString &path,
                  TransferMonitor &monitor);

// The same message handed, in pieces and in order, to write on this thread, with these line
// endings: nothing is stored on the way. Throws as writeMessage does, and whatever write
// throws; either way part of the message may have been handed on.
void streamMessage(const MessageContent &content, LineEnding ending, TransferMonitor &monitor,
                   const std::function<void(const char *, std::size_t)> &write);

// The exact number of bytes writeMessage will write for the content with these line endings,
// found from the sizes of the attachments' files as they are now, without reading them.
// Throws Failure like writeMessage for a file that cannot be attached or text that cannot be
// written.
std::uint64_t composedSize(const MessageContent &content, LineEnding ending = LineEnding::Lf);
