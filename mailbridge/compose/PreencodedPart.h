#pragma once

#include "mailbridge/compose/GMimeHeaders.h"
#include "mailbridge/compose/GObjectPtr.h"

// A GMimePart for content that is already in its transfer encoding with "\n" line ends, as
// Base64FileStream yields it. GMime would copy such content through a filter that checks
// every byte for "\r\n", which took twice the time of the base64 encoding itself.
//
// When the part's encoding equals its content's and the newline format is "\n", the part
// writes GMime's headers, a blank line and then the content stream's bytes unchanged, without
// looking at them: content holding "\r\n" or a bare "\r" goes out exactly as it is. With any
// other newline format, or content in another encoding, GMime writes the part as usual. Into
// a file output stream the content is read straight into the output's blocks.
GObjectPtr<GMimePart> newPreencodedPart(const char *type, const char *subtype);
