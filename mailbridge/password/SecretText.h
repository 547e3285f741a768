#pragma once

#include "common/EscapedText.h"

#include <QString>

// Throws Failure when a password or token carries a control character: it would end or
// change the login line it goes into. source names where it came from ("The token command
// \"x\""); the secret itself is never shown.
void checkSecretText(const QString &secret, const QString &source);
