#pragma once

#include <QHash>
#include <QString>

// How often each file directly in a folder was opened, as the kernel reports it (inotify):
// for checks that a file is opened no more often than it must be. Stats are not counted.
class OpenCounter
{
public:
    explicit OpenCounter(const QString &folder);
    ~OpenCounter();
    OpenCounter(const OpenCounter &) = delete;
    OpenCounter &operator=(const OpenCounter &) = delete;

    // The opens since the last call (or since the counter was made), by file name.
    QHash<QString, int> opens();

private:
    int m_fd = -1;
};
