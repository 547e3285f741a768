#pragma once

#include <QString>

// The About window's two texts. Lines are separated by CR LF, as the texts were always kept;
// neither ends with one.
QString aboutText();
QString instructionsText();
