#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>

// How long a helper command may run and how much it may print.
struct CommandLimits
{
    std::chrono::milliseconds timeout{std::chrono::seconds(30)};
    // A password or token is one short line; more than this is not one.
    qsizetype outputCap = 64 * 1024;
    // How often a cancel is looked at while the command runs.
    std::chrono::milliseconds cancelSlice{50};
};

// What a finished command left.
struct CommandResult
{
    int exitCode = 0;
    bool crashed = false;
    QByteArray output; // standard output, at most the cap
    QByteArray errors; // standard error, at most the cap
};

// Runs command with /bin/sh -c in a process group of its own, with no input. Whatever the
// command started is stopped with it: when it ends, outlives the limit, prints past the cap,
// or cancelled says true. Never waits for an event loop, so any thread may call it.
// Throws Failure naming intro for a command that cannot start, outlives the timeout or
// prints past the cap, and SendCancelled once cancelled.
CommandResult runCommand(const QString &command, const QString &intro, const CommandLimits &limits,
                         const std::function<bool()> &cancelled = {});

// The first line of bytes without its line end.
QString firstOutputLine(const QByteArray &bytes);
