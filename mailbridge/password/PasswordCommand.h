#pragma once

#include <QString>

#include <chrono>
#include <functional>

// Runs command with /bin/sh -c and returns the first line of its output, the password.
// Throws Failure quoting the command when it cannot start, outlives the timeout (it is then
// killed), exits with another status than 0, or prints nothing; the Failure carries the
// first line the command wrote to its error output.
// Once cancelled says true, the command is killed at once and SendCancelled thrown.
QString runPasswordCommand(const QString &command,
                           std::chrono::milliseconds timeout = std::chrono::seconds(30),
                           const std::function<bool()> &cancelled = {});

// The same for a command that prints another secret, named by what ("token").
QString runFirstLineCommand(const QString &command, const QString &what,
                            std::chrono::milliseconds timeout,
                            const std::function<bool()> &cancelled = {});
