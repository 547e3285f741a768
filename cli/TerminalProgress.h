#pragma once

#include "batch/SendStatus.h"

#include <QElapsedTimer>

#include <cstdio>

// A progress line on a terminal that rewrites itself a few times a second: messages, bytes,
// rate and time left. Cleared when the Send ends.
class TerminalProgress final : public SendProgress
{
public:
    explicit TerminalProgress(std::FILE *terminal);
    ~TerminalProgress() override;

    void planned(const BatchPlan &plan) override;
    void fileStarted(const QString &name) override;
    void bytesDone(std::int64_t n) override;
    void messageFiled(int index, const QString &subject) override;

private:
    void show(bool now);

    std::FILE *m_terminal;
    SendStatus m_status;
    QElapsedTimer m_clock;
    qint64 m_lastShown = -1;
};
