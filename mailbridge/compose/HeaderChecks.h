#pragma once

#include <QString>

#include <optional>

// Checks of what the user typed, for the Send to run before it creates anything: what a
// message could not carry is refused up front instead of being cut or mangled on the way.

// True when the recipient or sender text gives at least one real mailbox address; text that
// would only become the name of an empty group does not count.
bool hasAddress(const QString &text);

// Why the address text cannot be written, quoting it: it holds a NUL or a character no
// header can carry in any encoding, or its addresses cannot be written on 7-bit header lines
// of at most 998 octets (an address longer than that, non-ASCII before the @). Nothing when
// it can.
std::optional<QString> addressTextProblem(const QString &text);

// Why a subject (or subject prefix) cannot be written, quoting it: a NUL or a character no
// header can carry in any encoding. Nothing when it can; length is never a problem.
std::optional<QString> headerTextProblem(const QString &text);
