#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A server script of the tests, on a free port of 127.0.0.1. It runs until its standard input
// closes, so it ends with this object, or with the test program however that ends.
class TestServer
{
public:
    TestServer(const QString &script, const QStringList &arguments)
    {
        m_process.setProgram(QStringLiteral("/usr/bin/python3"));
        m_process.setArguments(QStringList{script} + arguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(30000))
            return;
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(30000);
        m_port = m_process.readLine().trimmed().toInt();
    }
    ~TestServer()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    int port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};
