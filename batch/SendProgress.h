#pragma once

#include <QString>

#include <cstdint>

struct BatchPlan;

// What a Send tells while it runs, all on the sending thread: a window or a terminal shows it.
class SendProgress
{
public:
    virtual ~SendProgress() = default;

    // Before the first message: the whole split, so the totals are known from the start.
    virtual void planned(const BatchPlan &plan) = 0;
    // The file whose content is being written now, by its shown name.
    virtual void fileStarted(const QString &name) = 0;
    // Another n bytes of the files' own content have been written.
    virtual void bytesDone(std::int64_t n) = 0;
    // Message index (from 0) is in the outbox.
    virtual void messageFiled(int index, const QString &subject) = 0;

    static SendProgress &none();
};
