#pragma once

#include "mailbridge/compose/GObjectPtr.h"

#include <QString>

#include "mailbridge/compose/GMimeHeaders.h"

// A read-only GMime stream that yields a file's bytes as MIME base64 lines (Base64Lines.h).
// Handed to GMime in a data wrapper marked base64 inside a part marked base64, GMime copies
// it as it is, which is much faster than GMime's own encoder. The file is opened at the
// first use and closed once read to its end, so a message with many attachments keeps one
// file open at a time.
GObjectPtr<GMimeStream> openBase64FileStream(const QString &path);

// Why a call on the stream returned -1 (names the file), or an empty text.
QString base64FileStreamError(GMimeStream *stream);
