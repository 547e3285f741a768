#pragma once

#include "mailbridge/compose/GMimeHeaders.h"
#include "mailbridge/compose/GObjectPtr.h"

// A GMimePart for content that is already in its transfer encoding with "\n" line ends, as
// Base64FileStream yields it. GMime would copy such content through a filter that checks
// every byte for "\r\n", which took twice the time of the base64 encoding itself; this
// part copies it as it is. With any other newline format or content it writes as GMime does.
GObjectPtr<GMimePart> newPreencodedPart(const char *type, const char *subtype);
