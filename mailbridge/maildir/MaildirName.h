#pragma once

#include <QString>

#include <cstdint>

// What makes a message's file name in a Maildir unique.
struct MaildirNameParts
{
    std::int64_t seconds = 0;
    int microseconds = 0;
    std::int64_t pid = 0;
    std::uint64_t counter = 0; // per process, counting up
    QString host;
};

// "<seconds>.M<microseconds>P<pid>Q<counter>.<host>", every number zero-padded to a fixed
// width, so that within one process names sort in the order they were made; '/' and ':'
// in the host are escaped as "\057" and "\072", as Maildir readers expect.
QString maildirName(const MaildirNameParts &parts);

// The parts of the next name of this process: now (never earlier than the previous name),
// this process, its next counter value and this host. Thread-safe.
MaildirNameParts nextMaildirNameParts();
