#include "mailbridge/maildir/MaildirDelivery.h"

#include "common/Failure.h"
#include "common/FileDescriptor.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/maildir/MaildirName.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Names are unique by construction; a clash means a stale file from a reused process id.
constexpr int nameAttempts = 20;

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

// Removes the file in tmp/ unless the message made it into new/.
class TemporaryFileGuard
{
public:
    explicit TemporaryFileGuard(QByteArray path) : m_path(std::move(path)) {}
    ~TemporaryFileGuard()
    {
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    TemporaryFileGuard(const TemporaryFileGuard &) = delete;
    TemporaryFileGuard &operator=(const TemporaryFileGuard &) = delete;
    void release() { m_path.clear(); }

private:
    QByteArray m_path;
};

struct CreatedFile
{
    QString name;
    QString path;
    FileDescriptor fd;
};

CreatedFile createInTmp(const QString &folder)
{
    const QString tmp = folder + QStringLiteral("/tmp");
    for (int attempt = 0;; ++attempt) {
        CreatedFile file;
        file.name = maildirName(nextMaildirNameParts());
        file.path = tmp + QLatin1Char('/') + file.name;
        file.fd = FileDescriptor(::open(nativePath(file.path).constData(),
                                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (file.fd.isOpen())
            return file;
        if (errno != EEXIST || attempt == nameAttempts)
            throw Failure(describeSystemError(
                QStringLiteral("Cannot create a message in the outbox folder %1").arg(tmp), errno));
    }
}

bool unsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == ENOTSUP;
}

// Moves without replacing: a message already in new/ under that name stays as it is. Where
// neither renameat2's RENAME_NOREPLACE nor link() is available the move fails: a plain
// rename() would replace.
QString moveIntoNew(const QString &folder, const CreatedFile &file)
{
    const QByteArray from = nativePath(file.path);
    QString name = file.name;
    for (int attempt = 0;; ++attempt) {
        const QString target = folder + QStringLiteral("/new/") + name;
        const QByteArray to = nativePath(target);
#ifdef RENAME_NOREPLACE
        int result =
            ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
#else
        errno = ENOSYS;
        int result = -1;
#endif
        if (result != 0 && unsupported(errno)) {
            result = ::link(from.constData(), to.constData());
            if (result == 0)
                ::unlink(from.constData());
            else if (unsupported(errno) || errno == EPERM)
                throw Failure(describeSystemError(
                    QStringLiteral("The message %1 was not put into the outbox: the file system "
                                   "of %2 can move it into new/ only in a way that could "
                                   "replace another message")
                        .arg(file.path, folder),
                    errno));
        }
        if (result == 0)
            return target;
        if (errno != EEXIST || attempt == nameAttempts)
            throw Failure(describeSystemError(
                QStringLiteral("Cannot move the message %1 into %2/new").arg(file.path, folder),
                errno));
        name = maildirName(nextMaildirNameParts());
    }
}

// The message is in new/ already: whatever fails here must say so, or it would be sent twice.
void syncFolderOfFiled(const QString &folder, const QString &message)
{
    const FileDescriptor fd(
        ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isOpen() || ::fsync(fd.get()) != 0)
        throw FiledWithFailure(
            QStringLiteral("The message is in the outbox as %1, but the folder %2 could not be "
                           "written to disk (%3), so the message may not survive a power cut. "
                           "Do not send it again.")
                .arg(message, folder, QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

QString deliverToMaildir(const QString &folder,
                         const std::function<void(int fd, const QString &path)> &writeMessage)
{
    CreatedFile file = createInTmp(folder);
    TemporaryFileGuard guard(nativePath(file.path));
    writeMessage(file.fd.get(), file.path);
    if (::fsync(file.fd.get()) != 0 || file.fd.reset() != 0)
        throw Failure(describeSystemError(QStringLiteral("Cannot write %1").arg(file.path), errno));
    const QString delivered = moveIntoNew(folder, file);
    guard.release();
    syncFolderOfFiled(folder + QStringLiteral("/new"), delivered);
    return delivered;
}
