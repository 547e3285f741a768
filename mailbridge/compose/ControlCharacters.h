#pragma once

#include <QString>

#include <algorithm>

// True for text with a character that must never reach a header raw: CR, LF and the other
// C0 controls, and DEL. A tab is folding white space there and may stay.
inline bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return (c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7f;
    });
}
