#pragma once

#include <QString>

// The single line the file list shows when there is nothing to list.
inline QString notAValidPathLine()
{
    return QStringLiteral("Not a Valid Path");
}
inline QString noFilesLine()
{
    return QStringLiteral("No files");
}
