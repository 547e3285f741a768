#include "cli/StandardStreams.h"

#include <cerrno>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

void reserveStandardStreams()
{
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open gives the lowest free number: the one that is closed.
        const int opened = ::open("/dev/null", O_RDONLY);
        if (opened >= 0 && opened != fd)
            ::close(opened);
    }
}

bool flushedWithoutError(std::FILE *stream)
{
    if (std::fflush(stream) != 0)
        return false;
    if (std::ferror(stream)) {
        errno = EIO;
        return false;
    }
    return true;
}
