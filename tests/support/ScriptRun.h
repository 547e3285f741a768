#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// How a run of the program from a script ended.
struct CommandRun
{
    int exitCode = -1; // -1: it crashed or did not end in time
    QString out;
    QString err;
};

// The environment a script gives the program: settings, data and state under home, no
// display and no keyring to ask.
QProcessEnvironment scriptEnvironment(const QString &home);

// The program as a script runs it: its settings, data and state under home, no display and
// no keyring to ask, nothing on standard input.
CommandRun runAsScript(const QString &program, const QString &home, const QStringList &arguments);
