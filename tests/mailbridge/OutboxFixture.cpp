#include "OutboxFixture.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

OutboxFixture::OutboxFixture()
    : outboxPath(dir.filePath(QStringLiteral("Outbox"))), outbox(outboxPath)
{
}

QString OutboxFixture::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    EXPECT_EQ(file.write(bytes), bytes.size());
    return path;
}

QString OutboxFixture::writeRandomFile(const QString &name, qsizetype size)
{
    return writeFile(name, randomBytes(size, quint32(size)));
}

QStringList OutboxFixture::filesIn(const QString &subfolder) const
{
    const QDir folder(outboxPath + QLatin1Char('/') + subfolder);
    QStringList paths;
    for (const QString &name :
         folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name))
        paths << folder.filePath(name);
    return paths;
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

int runInChild(const std::function<int()> &body)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
