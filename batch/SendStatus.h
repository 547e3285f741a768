#pragma once

#include "batch/SendProgress.h"
#include "common/ByteText.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>

// Keeps a running Send's progress where another thread can read it at any time: the sending
// thread reports, a window or terminal polls. Reporting costs an atomic add per block.
class SendStatus final : public SendProgress
{
public:
    struct Snapshot
    {
        int messagesPlanned = 0;
        int messagesFiled = 0;
        std::int64_t bytesTotal = 0;
        std::int64_t bytesDone = 0;
        QString currentFile;
    };

    void planned(const BatchPlan &plan) override;
    void fileStarted(const QString &name) override;
    void bytesDone(std::int64_t n) override;
    void messageFiled(int index, const QString &subject) override;

    Snapshot snapshot() const;

private:
    std::atomic<int> m_messagesPlanned{0};
    std::atomic<int> m_messagesFiled{0};
    std::atomic<std::int64_t> m_bytesTotal{0};
    std::atomic<std::int64_t> m_bytesDone{0};
    mutable std::mutex m_fileMutex;
    QString m_currentFile;
};

// The figures a person sees: "Message 2 of 5", "120.0 MB of 1.2 GB", "35.2 MB/s",
// "About 30 s left". The rate and the time left need some bytes and some time first.
struct ProgressTexts
{
    QString messages;
    QString bytes;
    QString rate;
    QString timeLeft;
};
ProgressTexts progressTexts(const SendStatus::Snapshot &status, double elapsedSeconds);
