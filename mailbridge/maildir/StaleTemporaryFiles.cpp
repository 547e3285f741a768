#include "mailbridge/maildir/StaleTemporaryFiles.h"

#include <QFile>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct DirectoryCloser
{
    void operator()(DIR *directory) const { ::closedir(directory); }
};

} // namespace

int removeStaleTemporaryFiles(const QString &tmpFolder, std::chrono::system_clock::time_point now)
{
    const std::unique_ptr<DIR, DirectoryCloser> directory(
        ::opendir(QFile::encodeName(tmpFolder).constData()));
    if (!directory)
        return 0;
    const int folder = ::dirfd(directory.get());
    const auto cutoff = std::chrono::system_clock::to_time_t(now - staleTemporaryAge);
    int removed = 0;
    while (const dirent *entry = ::readdir(directory.get())) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat status = {};
        if (::fstatat(folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode) || status.st_mtim.tv_sec >= cutoff)
            continue;
        if (::unlinkat(folder, entry->d_name, 0) == 0)
            ++removed;
    }
    return removed;
}
