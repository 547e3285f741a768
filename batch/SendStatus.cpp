#include "batch/SendStatus.h"

#include "common/ByteText.h"

#include "batch/BatchPlan.h"

#include <cmath>

void SendStatus::planned(const BatchPlan &plan)
{
    m_messagesPlanned = int(plan.messages.size());
    m_bytesTotal = plan.totalBytes;
}

void SendStatus::fileStarted(const QString &name)
{
    const std::lock_guard lock(m_fileMutex);
    m_currentFile = name;
}

void SendStatus::bytesDone(std::int64_t n)
{
    m_bytesDone.fetch_add(n, std::memory_order_relaxed);
}

void SendStatus::messageFiled(int index, const QString &)
{
    m_messagesFiled = index + 1;
}

SendStatus::Snapshot SendStatus::snapshot() const
{
    Snapshot s;
    s.messagesPlanned = m_messagesPlanned;
    s.messagesFiled = m_messagesFiled;
    s.bytesTotal = m_bytesTotal;
    s.bytesDone = m_bytesDone.load(std::memory_order_relaxed);
    const std::lock_guard lock(m_fileMutex);
    s.currentFile = m_currentFile;
    return s;
}

namespace {

QString durationText(double seconds)
{
    const auto whole = std::int64_t(std::ceil(seconds));
    if (whole < 60)
        return QStringLiteral("About %1 s left").arg(whole);
    if (whole < 3600)
        return QStringLiteral("About %1 min %2 s left").arg(whole / 60).arg(whole % 60);
    return QStringLiteral("About %1 h %2 min left").arg(whole / 3600).arg(whole % 3600 / 60);
}

} // namespace

ProgressTexts progressTexts(const SendStatus::Snapshot &status, double elapsedSeconds)
{
    ProgressTexts texts;
    // The message being written is the one after those filed.
    const int current = std::min(status.messagesFiled + 1, status.messagesPlanned);
    texts.messages = QStringLiteral("Message %1 of %2").arg(current).arg(status.messagesPlanned);
    texts.bytes =
        QStringLiteral("%1 of %2").arg(byteText(status.bytesDone), byteText(status.bytesTotal));
    // Too early a rate swings wildly; wait for a little data and time.
    if (elapsedSeconds >= 0.5 && status.bytesDone > 0) {
        const double rate = double(status.bytesDone) / elapsedSeconds;
        texts.rate = byteText(std::int64_t(rate)) + QStringLiteral("/s");
        texts.timeLeft = durationText(double(status.bytesTotal - status.bytesDone) / rate);
    }
    return texts;
}
