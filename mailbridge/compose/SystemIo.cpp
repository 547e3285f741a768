#include "mailbridge/compose/SystemIo.h"

#include "common/Failure.h"
#include "common/FileNameCodec.h"

#include <cerrno>
#include <unistd.h>

std::size_t readFully(int fd, void *buffer, std::size_t length, off_t offset, const QString &path)
{
    auto *bytes = static_cast<char *>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, bytes + done, length - done, offset + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw Failure(describeSystemError(
                QStringLiteral("Cannot read %1").arg(displayFileName(path)), errno));
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    return done;
}

void writeFully(int fd, const void *data, std::size_t length, const QString &path)
{
    const auto *bytes = static_cast<const char *>(data);
    while (length > 0) {
        const ssize_t n = ::write(fd, bytes, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw Failure(describeSystemError(
                QStringLiteral("Cannot write %1").arg(displayFileName(path)), errno));
        bytes += n;
        length -= std::size_t(n);
    }
}
