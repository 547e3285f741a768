#pragma once

#include <QString>

// What the file list holds: the folder's files, or one of the two sentinel lines. The Send
// asks this, not the first line's text, since a real file may carry a sentinel's name.
enum class ListState
{
    Files,
    NotAValidPath,
    NoFiles,
};

// The single line the file list shows when there is nothing to list.
inline QString notAValidPathLine()
{
    return QStringLiteral("Not a Valid Path");
}
inline QString noFilesLine()
{
    return QStringLiteral("No files");
}
