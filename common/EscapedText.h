#pragma once

#include <QString>

// C0 and C1 controls, DEL, and the Unicode line and paragraph separators: what a terminal may
// act on or break a line at.
bool isControlCharacter(char16_t u);

// The text with its control characters written as escapes (\n, \r, \t, \x1b, \u2028), so
// that it takes one line and cannot steer a terminal; everything else stays as it is.
QString escapedControls(const QString &text);
