#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// A file of a batch as a recipient finds it: its attachment's name and the message it is in.
struct BatchFile
{
    QString name;
    int message = 0; // from 1
};

// What one message of a batch tells its recipient about the batch, so that a missing or
// damaged message shows: which message it is, of which batch, and every file of the batch
// with its message.
struct BatchManifest
{
    // Batches with more files list only each message's own.
    static constexpr int listedFilesLimit = 200;

    int message = 0; // from 1
    int messageCount = 0;
    QString subjectPrefix;
    QDateTime date; // when the Send began, with its offset from UTC
    int fileCount = 0;
    // Every file of the batch in order, or none beyond listedFilesLimit. Implicitly shared:
    // each message of a batch holds the same list.
    QList<BatchFile> files;
};
