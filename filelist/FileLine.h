#pragma once

#include <QString>

// One line of the file list: a file's name (no folder) and its tick.
struct FileLine
{
    QString name;
    bool ticked = false;

    bool operator==(const FileLine &) const = default;
};
