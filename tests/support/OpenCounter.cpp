#include "support/OpenCounter.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

OpenCounter::OpenCounter(const QString &folder) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    EXPECT_GE(m_fd, 0);
    EXPECT_GE(::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_OPEN), 0)
        << folder.toStdString();
}

OpenCounter::~OpenCounter()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QHash<QString, int> OpenCounter::opens()
{
    // Events are queued as the opens happen, so all of them are here once the opener returned.
    QHash<QString, int> counts;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0) {
            EXPECT_TRUE(n < 0 && errno == EAGAIN) << "the event queue overflowed or failed";
            return counts;
        }
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->mask & IN_Q_OVERFLOW)
                ADD_FAILURE() << "too many opens to count";
            else if (event->len > 0 && !(event->mask & IN_ISDIR))
                ++counts[QFile::decodeName(event->name)];
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
}
