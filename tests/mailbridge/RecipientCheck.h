#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// What a recipient does with a message of a batch, with tools that share nothing with GMime.

struct Checked
{
    int exitCode = -1;
    QString output; // standard output and error
};

// `sha256sum -c` of the list, run in the folder.
Checked sha256sumCheck(const QString &folder, const QByteArray &list);

// What Python's email package makes of the message file (read_message.py); it saves the
// attachments into folder under their names.
QJsonObject readAsRecipient(const QString &message, const QString &folder);
