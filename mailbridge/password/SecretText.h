#pragma once

#include <QString>

// Throws Failure when a password or token carries a control character: it would end or
// change the login line it goes into. source names where it came from ("The token command
// \"x\""); the secret itself is never shown.
void checkSecretText(const QString &secret, const QString &source);

// The text with every control character written as an escape (\n, \r, \t, \x1b): text from
// a server, a token endpoint or a command, shown to a person as it came, never acted on by a
// terminal.
QString escapedControls(const QString &text);
