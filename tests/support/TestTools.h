#pragma once

#include "common/Failure.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <gtest/gtest.h>

#include <ostream>
#include <thread>

// Readable failure messages: gtest would print a QString as a list of QChars.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
inline std::ostream &operator<<(std::ostream &out, const QString &text)
{
    return out << text.toStdString();
}

// The same bytes for the same size and seed, so a failure can be replayed.
inline QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    EXPECT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
    return path;
}

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

// The description of the E the call throws, or an empty text when it throws none.
template <typename E = Failure, typename Call> QString failureOf(Call call)
{
    try {
        call();
    } catch (const E &failure) {
        return failure.description();
    }
    return QString();
}

// The threads of this process. A runtime may start a thread of its own with the first thread
// the program makes (ThreadSanitizer does); one is made first so that never counts.
inline int threadCount()
{
    static const bool runtimeStarted = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)runtimeStarted;
    return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}
