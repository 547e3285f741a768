#include "OutboxFixture.h"

#include <QDir>

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

OutboxFixture::OutboxFixture() : outboxPath(dir.filePath("Outbox")), outbox(outboxPath) {}

QString OutboxFixture::writeFile(const QString &name, const QByteArray &bytes)
{
    return ::writeFile(dir.filePath(name), bytes);
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
