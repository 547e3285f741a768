#pragma once

#include "mailbridge/TransferMonitor.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

// Records what a Send reports; can act in the middle of it and ask it to stop.
class RecordingMonitor : public TransferMonitor
{
public:
    void attachmentStarted(const QString &path) override
    {
        started << path;
        bytesPerFile.push_back(0);
    }
    void attachmentBytes(std::int64_t n) override
    {
        if (bytesPerFile.empty())
            bytesPerFile.push_back(0); // reported before any start: the check below fails
        bytesPerFile.back() += n;
        total += n;
        ++reports;
        if (afterBytes)
            afterBytes(total);
    }
    bool cancelRequested() const override { return cancel; }

    QStringList started;
    std::vector<std::int64_t> bytesPerFile; // per started file, in order
    std::int64_t total = 0;
    int reports = 0;
    bool cancel = false;
    std::function<void(std::int64_t total)> afterBytes;
};
