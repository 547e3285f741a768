#include "filelist/LocalFileSystem.h"

#include "common/Failure.h"
#include "common/FileNameCodec.h"

#include <QFile>
#include <QFileInfo>

#include <memory>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QDirIterator>
#endif

bool LocalFileSystem::FolderExists(const QString &path) const
{
    if (path.isEmpty())
        return false;
    return QFileInfo(path).isDir();
}

#ifdef Q_OS_UNIX

namespace {

// Closes the directory whatever happens while it is read.
struct DirCloser
{
    void operator()(DIR *dir) const { closedir(dir); }
};

bool isRegularFileAt(int dirFd, const char *name)
{
    struct stat info;
    // Follows links: a link to a regular file counts as one.
    return fstatat(dirFd, name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

} // namespace

QStringList LocalFileSystem::FileNames(const QString &folder) const
{
    std::unique_ptr<DIR, DirCloser> dir(opendir(QFile::encodeName(folder).constData()));
    if (!dir)
        throw Failure(
            describeSystemError(QStringLiteral("Could not list the folder %1").arg(folder), errno));
    const int fd = dirfd(dir.get());
    QStringList names;
    errno = 0;
    while (const dirent *entry = readdir(dir.get())) {
        // The type from the directory itself saves a stat per file where the file system
        // gives it; links and unknown types are looked up.
        const bool regular =
            entry->d_type == DT_REG || ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) &&
                                        isRegularFileAt(fd, entry->d_name));
        if (regular)
            names.append(decodeFileName(QByteArray(entry->d_name)));
        errno = 0;
    }
    if (errno != 0)
        throw Failure(
            describeSystemError(QStringLiteral("Could not list the folder %1").arg(folder), errno));
    return names;
}

qint64 LocalFileSystem::FileSize(const QString &path) const
{
    struct stat info;
    if (stat(encodeFileName(path).constData(), &info) != 0)
        throw Failure(describeSystemError(
            QStringLiteral("Could not read the size of %1").arg(displayFileName(path)), errno));
    return info.st_size;
}

#else

QStringList LocalFileSystem::FileNames(const QString &folder) const
{
    if (!QFileInfo(folder).isReadable())
        throw Failure(QStringLiteral("Could not list the folder %1.").arg(folder));
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        if (it.fileInfo().isFile())
            names.append(it.fileName());
    }
    return names;
}

qint64 LocalFileSystem::FileSize(const QString &path) const
{
    const QFileInfo info(path);
    if (!info.exists())
        throw Failure(
            QStringLiteral("Could not read the size of %1: the file does not exist.").arg(path));
    return info.size();
}

#endif
