#pragma once

#include <QString>

#include <chrono>

// Runs command with /bin/sh -c and returns the first line of its output, the password.
// Throws Failure quoting the command when it cannot start, outlives the timeout (it is then
// killed), exits with another status than 0, or prints nothing; the Failure carries the
// first line the command wrote to its error output.
QString runPasswordCommand(const QString &command,
                           std::chrono::milliseconds timeout = std::chrono::seconds(30));
