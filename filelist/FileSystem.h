#pragma once

#include <QStringList>

// What the tool asks of the file system; one real implementation per platform.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // True exactly when the path names an existing folder; false, never a failure, for the
    // empty text, a file, or text that is no valid path.
    virtual bool FolderExists(const QString &path) const = 0;
    // Names of the regular files (and links to them) directly inside the folder, in no
    // particular order. Sub-folders, FIFOs, sockets and devices are left out.
    virtual QStringList FileNames(const QString &folder) const = 0;
    // Length in bytes of the file at the path.
    virtual qint64 FileSize(const QString &path) const = 0;
};
