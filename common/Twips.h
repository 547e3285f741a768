#pragma once

#include <QRect>

// Window layouts are kept in twips, the unit they were drawn in: 15 to a pixel at 96 dots per
// inch. Qt scales pixels for other displays.
inline QRect twips(int left, int top, int width, int height)
{
    constexpr int twipsPerPixel = 15;
    return QRect(left / twipsPerPixel, top / twipsPerPixel, width / twipsPerPixel,
                 height / twipsPerPixel);
}
