#pragma once

#include "filelist/FileSystem.h"

#include <QHash>
#include <QSet>

// An in-memory file system: folders, and files with sizes under full paths.
class FakeFileSystem : public FileSystem
{
public:
    void addFolder(const QString &folder) { m_folders.insert(folder); }
    void addFile(const QString &path, qint64 size) { m_sizes.insert(path, size); }

    bool FolderExists(const QString &path) const override { return m_folders.contains(path); }
    QStringList FileNames(const QString &folder) const override;
    qint64 FileSize(const QString &path) const override;

    // Every path whose size was asked for, in order.
    mutable QStringList sizeLookups;

private:
    QSet<QString> m_folders;
    QHash<QString, qint64> m_sizes;
};
