#include "mailbridge/password/PasswordCommand.h"

#include "common/Failure.h"
#include "mailbridge/password/CommandRunner.h"
#include "mailbridge/password/SecretText.h"

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
    CommandLimits limits;
    limits.timeout = timeout;
    const CommandResult result = runCommand(command, intro, limits, cancelled);
    // What the command says about itself is shown, so it is kept to one plain line.
    const QString errorLine = escapedControls(firstOutputLine(result.errors).trimmed());
    const QString because = errorLine.isEmpty() ? QString() : QStringLiteral(": ") + errorLine;
    if (result.crashed)
        throw Failure(QStringLiteral("%1 crashed%2").arg(intro, because));
    if (result.exitCode != 0)
        throw Failure(QStringLiteral("%1 failed with exit status %2%3")
                          .arg(intro)
                          .arg(result.exitCode)
                          .arg(because));
    const QString secret = firstOutputLine(result.output);
    if (secret.isEmpty())
        throw Failure(
            QStringLiteral("%1 printed no %2 on its first line%3").arg(intro, what, because));
    checkSecretText(secret, intro);
    return secret;
}
