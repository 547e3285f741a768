#include "mailbridge/compose/RegularFile.h"

#include "common/Failure.h"
#include "common/FileNameCodec.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>

RegularFile openRegularFile(const QString &path)
{
    RegularFile file;
    const QByteArray name = encodeFileName(path);
    const QString shown = displayFileName(path);
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer.
    file.fd =
        FileDescriptor(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file.fd.isOpen())
        throw Failure(describeSystemError(QStringLiteral("Cannot read %1").arg(shown), errno));
    if (::fstat(file.fd.get(), &file.status) != 0)
        throw Failure(describeSystemError(QStringLiteral("Cannot read %1").arg(shown), errno));
    if (!S_ISREG(file.status.st_mode))
        throw Failure(QStringLiteral("Cannot attach %1: it is not a regular file").arg(shown));
    return file;
}

FileIdentity identityOf(const struct stat &status)
{
    return {status.st_dev, status.st_ino, std::uint64_t(status.st_size),
            std::int64_t(status.st_mtim.tv_sec), status.st_mtim.tv_nsec};
}

FileIdentity currentIdentity(const QString &path)
{
    struct stat status = {};
    const QString shown = displayFileName(path);
    if (::stat(encodeFileName(path).constData(), &status) != 0)
        throw Failure(describeSystemError(QStringLiteral("Cannot read %1").arg(shown), errno));
    if (!S_ISREG(status.st_mode))
        throw Failure(QStringLiteral("Cannot attach %1: it is not a regular file").arg(shown));
    return identityOf(status);
}
