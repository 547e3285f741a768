#include "mailbridge/imap/PrivateTempFile.h"

#include "common/Failure.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

PrivateTempFile createPrivateTempFile()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || QDir::isRelativePath(folder) || !QFileInfo(folder).isDir())
        folder = QStringLiteral("/tmp");
    QByteArray name = QFile::encodeName(folder) + "/ferrymail-draft-XXXXXX";
    PrivateTempFile file;
    file.fd = FileDescriptor(::mkostemp(name.data(), O_CLOEXEC)); // mode 0600
    if (!file.fd.isOpen())
        throw Failure(describeSystemError(
            QStringLiteral("Cannot make a temporary file for the message in %1").arg(folder),
            errno));
    file.path = QFile::decodeName(name);
    if (::unlink(name.constData()) != 0)
        throw Failure(describeSystemError(
            QStringLiteral("Cannot remove the name of the temporary file %1").arg(file.path),
            errno));
    return file;
}
