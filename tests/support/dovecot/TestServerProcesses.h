#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <sys/types.h>
#include <vector>

// What every server the tests start shares: a free loopback port, a temporary folder named
// for the build, a process group of its own, and the means to find what is left of it.

int freeLoopbackPort();
bool loopbackPortAnswers(int port);

// A QTemporaryDir template under the system's temporary folder: the name tells this build's
// servers from those of other builds on the machine.
QString testServerFolderTemplate(const QString &kind);

// Runs program in a new session (so one signal reaches all it starts), its output into
// logFile, with these entries ("NAME=value") added to the environment. Returns its pid.
pid_t startServerProcess(const QString &program, const QStringList &arguments,
                         const QStringList &environment, const QString &logFile);
// Kills every process of the group and waits until none is left.
void killProcessGroup(pid_t group);
// The processes of a process group that still run.
std::vector<pid_t> processesOfGroup(pid_t group);

// Each process of this build's test servers that still runs, as "pid command line": those
// working in or started with a file of a folder made from testServerFolderTemplate.
std::vector<std::string> testServersLeftRunning();
