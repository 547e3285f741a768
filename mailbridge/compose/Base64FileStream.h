#pragma once

#include "mailbridge/compose/GObjectPtr.h"
#include "mailbridge/compose/Sha256.h"

#include <QString>

#include <exception>
#include <memory>
#include <optional>

#include "mailbridge/compose/GMimeHeaders.h"

class TransferMonitor;

// A read-only GMime stream that yields a file's bytes as MIME base64 lines (Base64Lines.h).
// Handed to GMime in a data wrapper marked base64 inside a part marked base64, GMime copies
// it as it is, which is much faster than GMime's own encoder.
//
// The file is open only while its bytes are being read: a message with any number of
// attachments keeps at most one of them open. Reading tells the monitor when the file starts
// and how many of its bytes went in, asks it between blocks whether to stop, and checks at
// the end that the file is still the one it started reading, unchanged in size and time.
// The monitor must outlive the stream.
GObjectPtr<GMimeStream> openBase64FileStream(const QString &path, TransferMonitor &monitor);

// The same for a file inspected before (inspectAttachment): its size is known without opening
// it again, and what is read must be the file as it was inspected.
struct Attachment;
GObjectPtr<GMimeStream> openBase64FileStream(const Attachment &attachment,
                                             TransferMonitor &monitor);

// The same for a message that states the file's size and checksum: a file replaced since it
// was inspected fails as changed instead of going whole, and the file's SHA-256 comes from the
// very blocks read to encode it, hashed on the thread while they are encoded: no pass of its
// own. The streams of one message share one thread (newFileHashingThread), read one at a time.
class HashingThread;
std::shared_ptr<HashingThread> newFileHashingThread();
GObjectPtr<GMimeStream> openCheckedBase64FileStream(const Attachment &attachment,
                                                    TransferMonitor &monitor,
                                                    std::shared_ptr<HashingThread> hasher);

// The SHA-256 of the file of a checked stream, once all of it was read in order and the
// thread has finished; nothing before, or for a stream of another kind.
std::optional<Sha256Digest> base64FileStreamDigest(GMimeStream *stream);

// What made a call on the stream fail (a Failure naming the file, or SendCancelled); null
// when nothing failed or the stream is of another type.
std::exception_ptr base64FileStreamFailure(GMimeStream *stream);
