#pragma once

#include "filelist/FileSystem.h"

#include <QHash>

// Remembers the sizes it has looked up, so a preview worked out at every tick asks the disk
// once per file. Forget them when the list is filled anew.
class SizeCache : public FileSystem
{
public:
    explicit SizeCache(const FileSystem &files) : m_files(files) {}

    bool FolderExists(const QString &path) const override { return m_files.FolderExists(path); }
    QStringList FileNames(const QString &folder) const override
    {
        return m_files.FileNames(folder);
    }
    qint64 FileSize(const QString &path) const override
    {
        const auto known = m_sizes.constFind(path);
        if (known != m_sizes.cend())
            return *known;
        const qint64 size = m_files.FileSize(path);
        m_sizes.insert(path, size);
        return size;
    }
    void forget() { m_sizes.clear(); }

private:
    const FileSystem &m_files;
    mutable QHash<QString, qint64> m_sizes;
};
