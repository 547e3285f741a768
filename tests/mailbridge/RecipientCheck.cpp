#include "RecipientCheck.h"

#include <QJsonDocument>
#include <QProcess>
#include <gtest/gtest.h>

Checked sha256sumCheck(const QString &folder, const QByteArray &list)
{
    QProcess check;
    check.setWorkingDirectory(folder);
    check.start("sha256sum", {"-c", "-"});
    EXPECT_TRUE(check.waitForStarted());
    check.write(list);
    check.closeWriteChannel();
    EXPECT_TRUE(check.waitForFinished(30'000));
    return {check.exitCode(),
            QString::fromUtf8(check.readAllStandardOutput() + check.readAllStandardError())};
}

QJsonObject readAsRecipient(const QString &message, const QString &folder)
{
    QProcess python;
    python.start("python3", {READ_MESSAGE_SCRIPT, message, "--save", folder});
    EXPECT_TRUE(python.waitForFinished(60'000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}
