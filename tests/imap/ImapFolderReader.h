#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// The tests' own look into a folder on the test server, through plain libcurl calls that
// share nothing with the outbox's session.
struct StoredMessage
{
    std::uint64_t uid = 0;
    QStringList flags;
    QByteArray bytes;
};

class ImapFolderReader
{
public:
    // serverName: the name the server's certificate bears, always reached at 127.0.0.1.
    ImapFolderReader(int imapsPort, QString caFile, QString user, QString password,
                     QString serverName = QStringLiteral("127.0.0.1"));

    // Every message of the folder, by UID.
    std::vector<StoredMessage> messages(const QString &folder) const;
    QStringList subscribedFolders() const;
    // Runs one command; returns the response lines. Throws std::runtime_error.
    QList<QByteArray> command(const QByteArray &line, const QString &folder = QString()) const;

private:
    QByteArray fetch(const QByteArray &url, const QByteArray &request,
                     QList<QByteArray> *lines) const;

    QByteArray base() const;

    int m_port;
    QByteArray m_caFile, m_user, m_password, m_serverName;
};
