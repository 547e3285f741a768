#pragma once

#include "batch/BatchPlan.h"
#include "batch/SendProgress.h"

#include <QString>

#include <functional>

class CancelToken;
struct SendRecord;

// Keeps the record of a running Send in step with it: before a message begins it is marked
// going, once filed it went, each time saved through save. The progress shown hears of the
// messages this run sends only. A save that fails stops the Send through cancel: going on
// would leave a record that makes a resume send a message twice.
class RecordingProgress final : public SendProgress
{
public:
    using Save = std::function<void(const SendRecord &)>; // throws Failure
    RecordingProgress(SendProgress &shown, SendRecord &record, std::size_t first, Save save,
                      CancelToken &cancel);

    void planned(const BatchPlan &plan) override;
    void fileStarted(const QString &name) override;
    void bytesDone(std::int64_t n) override;
    void messageFiled(int index, const QString &subject) override;

    // Why the record could not be saved; empty while it could.
    const QString &saveFailure() const { return m_failure; }

private:
    void save();

    SendProgress &m_shown;
    SendRecord &m_record;
    std::size_t m_first;
    Save m_save;
    CancelToken &m_cancel;
    QString m_failure;
};
