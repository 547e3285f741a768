#pragma once

#include <QString>

#include <chrono>

// Files in a Maildir's tmp/ are messages being written; one untouched for 36 hours was left
// by a sender that died, and Maildir readers expect whoever opens the folder to remove it.
inline constexpr std::chrono::hours staleTemporaryAge{36};

// Removes the regular files in tmpFolder last modified more than staleTemporaryAge before
// now; younger ones may still be written by another sender and stay. Best effort: a file or
// folder that cannot be read or removed is left as it is. Returns how many were removed.
int removeStaleTemporaryFiles(const QString &tmpFolder, std::chrono::system_clock::time_point now);
