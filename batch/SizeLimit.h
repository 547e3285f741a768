#pragma once

#include <QString>

// The byte limit of one message from the size text (kilobytes of 1024 bytes). Accepts plain
// decimal numbers with an optional fraction and sign; throws Refusal for anything else and
// for a limit beyond the range of a double.
double sizeLimitBytes(const QString &sizeText);
