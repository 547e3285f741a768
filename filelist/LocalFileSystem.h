#pragma once

#include "filelist/FileSystem.h"

// The file system of this machine.
class LocalFileSystem : public FileSystem
{
public:
    bool FolderExists(const QString &path) const override;
    QStringList FileNames(const QString &folder) const override;
    qint64 FileSize(const QString &path) const override;
};
