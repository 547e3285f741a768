#include "cli/ResumeStateFile.h"

#include "common/Failure.h"
#include "common/FileNameCodec.h"
#include "common/HomePath.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const recordName = "/unfinished-send.json";

QByteArray native(const QString &path)
{
    return encodeFileName(path);
}

[[noreturn]] void systemFailure(const QString &what, const QString &path)
{
    throw Failure(describeSystemError(what.arg(withHomeAsTilde(path)), errno));
}

void writeAll(int fd, const QByteArray &bytes, const QString &path)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            systemFailure(QStringLiteral("Cannot write %1"), path);
        done += n;
    }
}

} // namespace

ResumeStateFile::ResumeStateFile(QString folder) : m_folder(std::move(folder)) {}

QString ResumeStateFile::defaultFolder()
{
    return stateFolder();
}

QString ResumeStateFile::path() const
{
    return m_folder + QLatin1String(recordName);
}

bool ResumeStateFile::lock()
{
    // The record names files and addresses: for this user's eyes only.
    if (!QFileInfo::exists(m_folder) &&
        (!QDir().mkpath(m_folder) ||
         !QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)))
        throw Failure(QStringLiteral("Cannot create the folder %1 for the record of this Send.")
                          .arg(withHomeAsTilde(m_folder)));
    const QString lockPath = m_folder + QStringLiteral("/send.lock");
    // Never removed: a lock file deleted while another waits on it would let two Sends in.
    FileDescriptor fd(
        ::open(native(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.isOpen())
        systemFailure(QStringLiteral("Cannot open %1"), lockPath);
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return false;
        if (errno != EINTR)
            systemFailure(QStringLiteral("Cannot lock %1"), lockPath);
    }
    m_lock = std::move(fd);
    return true;
}

std::optional<SendRecord> ResumeStateFile::read() const
{
    const QString file = path();
    const FileDescriptor fd(::open(native(file).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.isOpen()) {
        if (errno == ENOENT)
            return std::nullopt;
        systemFailure(QStringLiteral("Cannot read %1"), file);
    }
    const auto refuse = [&file](const QString &why) {
        throw Refusal(QStringLiteral("The record of the unfinished Send, %1, is damaged: %2. "
                                     "Nothing was sent; remove it to start afresh.")
                          .arg(withHomeAsTilde(file), why));
    };
    struct stat info = {};
    if (::fstat(fd.get(), &info) != 0)
        systemFailure(QStringLiteral("Cannot read %1"), file);
    if (!S_ISREG(info.st_mode))
        refuse(QStringLiteral("it is not a file"));
    // Read no more than a record may hold, whatever the size says: it may grow meanwhile.
    QByteArray text(maxRecordBytes + 1, Qt::Uninitialized);
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n = ::read(fd.get(), text.data() + done, std::size_t(text.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            systemFailure(QStringLiteral("Cannot read %1"), file);
        if (n == 0)
            break;
        done += n;
    }
    text.truncate(done);
    if (text.size() > maxRecordBytes)
        refuse(QStringLiteral("it is larger than %1 MiB").arg(maxRecordBytes / (1024 * 1024)));
    try {
        return parseRecord(text);
    } catch (const Refusal &refusal) {
        refuse(refusal.description());
    }
    return std::nullopt;
}

void ResumeStateFile::write(const SendRecord &record)
{
    const QString file = path();
    const QString temporary = file + QStringLiteral(".new");
    FileDescriptor fd(::open(native(temporary).constData(),
                             O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.isOpen())
        systemFailure(QStringLiteral("Cannot create %1"), temporary);
    writeAll(fd.get(), recordText(record), temporary);
    if (::fsync(fd.get()) != 0 || fd.reset() != 0)
        systemFailure(QStringLiteral("Cannot write %1"), temporary);
    if (::rename(native(temporary).constData(), native(file).constData()) != 0)
        systemFailure(QStringLiteral("Cannot replace %1"), file);
    // The rename itself lasts only once the folder is on disk.
    const FileDescriptor folder(
        ::open(native(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isOpen() || ::fsync(folder.get()) != 0)
        systemFailure(QStringLiteral("Cannot write the folder %1"), m_folder);
}

void ResumeStateFile::remove()
{
    if (::unlink(native(path()).constData()) != 0 && errno != ENOENT)
        systemFailure(QStringLiteral("Cannot remove %1"), path());
}
