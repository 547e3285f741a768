#include "mailbridge/password/PasswordCommand.h"

#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"

#include <QProcess>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif

namespace {

void stop(QProcess &process)
{
#ifdef Q_OS_UNIX
    if (const qint64 group = process.processId(); group > 0)
        ::kill(-pid_t(group), SIGKILL);
#endif
    process.kill();
    process.waitForFinished(1000);
}

QString firstLine(const QByteArray &output)
{
    const qsizetype end = output.indexOf('\n');
    QByteArray line = end < 0 ? output : output.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

} // namespace

QString runPasswordCommand(const QString &command, std::chrono::milliseconds timeout,
                           const std::function<bool()> &cancelled)
{
    return runFirstLineCommand(command, QStringLiteral("password"), timeout, cancelled);
}

QString runFirstLineCommand(const QString &command, const QString &what,
                            std::chrono::milliseconds timeout,
                            const std::function<bool()> &cancelled)
{
    const QString intro = QStringLiteral("The %1 command \"%2\"").arg(what, command);
    QProcess process;
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments({QStringLiteral("-c"), command});
    process.setStandardInputFile(QProcess::nullDevice());
#ifdef Q_OS_UNIX
    // A group of its own, so that stopping the command stops what it started too.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
    process.start();
    if (!process.waitForStarted(int(timeout.count())))
        throw Failure(
            QStringLiteral("%1 could not be started: %2").arg(intro, process.errorString()));
    // Waited for in slices, so that a cancel is seen at once.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool finished = false;
    while (!finished && std::chrono::steady_clock::now() < deadline) {
        finished = process.waitForFinished(100);
        if (!finished && cancelled && cancelled()) {
            stop(process);
            throw SendCancelled();
        }
    }
    if (!finished) {
        stop(process);
        throw Failure(QStringLiteral("%1 did not finish within %2 seconds and was stopped. Check "
                                     "that it does not wait for input.")
                          .arg(intro)
                          .arg(timeout.count() / 1000.0));
    }
    const QString errorLine = firstLine(process.readAllStandardError()).trimmed();
    const QString because = errorLine.isEmpty() ? QString() : QStringLiteral(": ") + errorLine;
    if (process.exitStatus() != QProcess::NormalExit)
        throw Failure(QStringLiteral("%1 crashed%2").arg(intro, because));
    if (process.exitCode() != 0)
        throw Failure(QStringLiteral("%1 failed with exit status %2%3")
                          .arg(intro)
                          .arg(process.exitCode())
                          .arg(because));
    const QString secret = firstLine(process.readAllStandardOutput());
    if (secret.isEmpty())
        throw Failure(
            QStringLiteral("%1 printed no %2 on its first line%3").arg(intro, what, because));
    return secret;
}
