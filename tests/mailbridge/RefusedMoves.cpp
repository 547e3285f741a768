// Preloaded into outbox_sender by tests, to stand for a file system on which renameat2 knows
// no RENAME_NOREPLACE and link() is refused (unless FERRYMAIL_TEST_ALLOW_LINK is set), at the
// moment another message takes the name in new/ that the sender is about to use first.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

extern "C" int renameat2(int, const char *, int, const char *to, unsigned int) noexcept
{
    static bool taken = false;
    if (!taken && std::strstr(to, "/new/")) {
        taken = true;
        const int fd = ::open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            static const char text[] = "already here";
            const bool whole = ::write(fd, text, sizeof text - 1) == sizeof text - 1;
            ::close(fd);
            if (!whole)
                std::abort();
        }
    }
    errno = EINVAL;
    return -1;
}

extern "C" int link(const char *from, const char *to) noexcept
{
    if (!std::getenv("FERRYMAIL_TEST_ALLOW_LINK")) {
        errno = EPERM;
        return -1;
    }
    return ::linkat(AT_FDCWD, from, AT_FDCWD, to, 0);
}
