#pragma once

#include "mailbridge/TransferMonitor.h"

#include <QStringList>

#include <functional>

// Records what an outbox reports; onBytes sees the running total and may ask to cancel.
class RecordingMonitor : public TransferMonitor
{
public:
    void attachmentStarted(const QString &path) override { started << path; }
    void attachmentBytes(std::int64_t n) override
    {
        total += n;
        if (onBytes)
            onBytes(total);
    }
    bool cancelRequested() const override { return cancel; }

    QStringList started;
    std::int64_t total = 0;
    bool cancel = false;
    std::function<void(std::int64_t total)> onBytes;
};
