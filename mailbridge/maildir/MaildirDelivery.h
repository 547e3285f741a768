#pragma once

#include <QString>

#include <functional>

// Writes one message into the Maildir at folder: into tmp/ under a new unique name, synced
// to disk, then moved into new/ in one step that never replaces a file there, and new/
// synced. new/ only ever shows whole messages. writeMessage gets the open file and its path
// and throws Failure on error; whatever fails before the move, the file in tmp/ is removed
// and the Failure passed on. When the sync of new/ fails the message is in new/ and
// FiledWithFailure is thrown. Returns the message's path in new/.
QString deliverToMaildir(const QString &folder,
                         const std::function<void(int fd, const QString &path)> &writeMessage);
