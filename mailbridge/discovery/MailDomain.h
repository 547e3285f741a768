#pragma once

#include <QString>

// The domain of an email address, lower case and in its ASCII (IDNA) form, ready for a DNS
// query: "me@Example.ORG" and "Me <me@example.org>" give "example.org". Throws Failure when
// the text is not an address with a valid domain.
QString mailDomain(const QString &address);

// The bare address of "Name <me@example.org>", else the trimmed text.
QString bareAddress(const QString &text);
