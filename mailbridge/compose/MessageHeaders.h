#pragma once

#include "mailbridge/compose/GMimeHeaders.h"

#include <QString>

// The headers made of what the user typed, as every message gets them and as the checks
// (HeaderChecks.h) try them out: text in UTF-8, and text a reader would decode on its own
// ("=?") encoded so that it comes back exactly as it was.

void setSubjectHeader(GMimeMessage *message, const QString &subject);

// Appends the addresses of the text (AddressText.h) to the header of that type.
void setAddressHeader(GMimeMessage *message, GMimeAddressType type, const QString &text);

// The name=/filename= parameters of Content-Type and Content-Disposition: as GMime writes
// them for plain printable ASCII, otherwise as RFC 2231 UTF-8 parameters of our own.
void setFileName(GMimePart *part, const QString &fileName);
