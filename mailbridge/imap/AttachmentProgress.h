#pragma once

#include <QString>

#include <cstdint>
#include <vector>

class TransferMonitor;

// Turns the bytes of a composed message sent to the server into the attachment bytes and
// starts a TransferMonitor counts: each attachment counts as sent in proportion to how much
// of the message has gone, since base64 and headers grow every part alike.
class AttachmentProgress
{
public:
    struct File
    {
        QString path;
        std::int64_t size = 0;
    };

    AttachmentProgress(std::vector<File> files, std::uint64_t messageSize,
                       TransferMonitor &monitor);

    // sent bytes of the message have gone (never fewer than last time).
    void messageSent(std::uint64_t sent);
    // The whole message has gone: reports what is still due.
    void finish();

private:
    std::vector<File> m_files;
    std::int64_t m_total = 0;
    std::uint64_t m_messageSize;
    TransferMonitor &m_monitor;
    std::int64_t m_reported = 0;
    std::size_t m_current = 0;        // the file the count is in
    std::int64_t m_doneInCurrent = 0; // of its bytes
    bool m_announced = false;         // attachmentStarted told for it
};
