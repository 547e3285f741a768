#pragma once

#include <QString>

// What the checksums add at the least: the SHA-256 of as many bytes as each file of the folder
// holds, in the outbox's block size, from one block already in memory, on one thread. The Send
// reads and encodes the files anyway; this is the work on top, with nothing to wait for, so no
// arrangement of the Send's threads can make the checksums cheaper.
void hashLikeFilesAlone(const QString &folder);

// Asks the kernel to forget the folder's files from the page cache, so that the next run
// reads them from the disk, as a Send of files not opened lately does. The files must have
// been synced: only clean pages are dropped.
void dropFromPageCache(const QString &folder);
