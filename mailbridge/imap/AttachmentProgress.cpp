#include "mailbridge/imap/AttachmentProgress.h"

#include "mailbridge/TransferMonitor.h"

#include <algorithm>

AttachmentProgress::AttachmentProgress(std::vector<File> files, std::uint64_t messageSize,
                                       TransferMonitor &monitor)
    : m_files(std::move(files)), m_messageSize(messageSize), m_monitor(monitor)
{
    for (const File &file : m_files)
        m_total += file.size;
}

void AttachmentProgress::messageSent(std::uint64_t sent)
{
    const std::uint64_t bounded = std::min(sent, m_messageSize);
    const auto due =
        m_messageSize == 0
            ? m_total
            : std::int64_t(static_cast<long double>(m_total) * bounded / m_messageSize);
    while (m_current < m_files.size()) {
        const File &file = m_files[m_current];
        const std::int64_t budget = due - m_reported;
        if (!m_announced) {
            if (budget <= 0 && file.size > 0)
                return;
            m_monitor.attachmentStarted(file.path);
            m_announced = true;
        }
        const std::int64_t step = std::min(file.size - m_doneInCurrent, budget);
        if (step > 0) {
            m_monitor.attachmentBytes(step);
            m_reported += step;
            m_doneInCurrent += step;
        }
        if (m_doneInCurrent < file.size)
            return;
        ++m_current;
        m_doneInCurrent = 0;
        m_announced = false;
    }
}

void AttachmentProgress::finish()
{
    messageSent(m_messageSize);
}
