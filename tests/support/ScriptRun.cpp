#include "support/ScriptRun.h"

#include <QDir>
#include <QProcess>

QProcessEnvironment scriptEnvironment(const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", home + "/config");
    environment.insert("XDG_DATA_HOME", home + "/data");
    environment.insert("XDG_STATE_HOME", home + "/state");
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("DBUS_SESSION_BUS_ADDRESS"); // no keyring to ask
    return environment;
}

CommandRun runAsScript(const QString &program, const QString &home, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(scriptEnvironment(home));
    process.start(program, arguments);
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(60000);
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    return {ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}
