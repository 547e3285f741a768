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

// Where tests/support/unpack-test-server.sh unpacked a server's packages:
// $FERRYMAIL_TEST_SERVERS/<name>, else /var/cache/ferrymail/test-servers/<name> for root
// (whose servers run as nobody), else $XDG_CACHE_HOME (or ~/.cache)/ferrymail/test-servers/<name>.
QString unpackedServerRoot(const QString &name);

// Who a server runs as: root runs it as nobody, anybody else as themselves.
struct ServerAccount
{
    uid_t uid;
    gid_t gid;
    QString user;
    QString group;
};
ServerAccount serverAccount();
// Gives the folder and all in it to the server's user, and lets others look in.
void handFolderTo(const QString &folder, const ServerAccount &account);

// Runs program in a new session (so one signal reaches all it starts), in workingDirectory,
// its output into logFile, with these entries ("NAME=value") added to the environment.
// Returns its pid.
pid_t startServerProcess(const QString &program, const QStringList &arguments,
                         const QStringList &environment, const QString &logFile,
                         const QString &workingDirectory = QString());
// Kills every process of the group and waits until none is left.
void killProcessGroup(pid_t group);
// Kills every process working in the folder or below, and waits until none is left: those
// a server started in a session of their own.
void killProcessesWorkingIn(const QString &folder);
// The processes of a process group that still run.
std::vector<pid_t> processesOfGroup(pid_t group);

// Each process of this build's test servers that still runs, as "pid command line": those
// working in or started with a file of a folder made from testServerFolderTemplate.
std::vector<std::string> testServersLeftRunning();

// The processes of a server's group that the check above would miss: those alive both
// before and after its scan (servers run short-lived helpers) and not in it.
std::vector<pid_t> groupMembersTheCheckMisses(pid_t group);
