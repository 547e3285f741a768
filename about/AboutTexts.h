#pragma once

#include <QString>

// The About window's two texts. Lines are separated by CR LF, as the texts were always kept;
// neither ends with one. onSend says what Send does where messages go now.
QString aboutText();
QString instructionsText(const QString &onSend);
