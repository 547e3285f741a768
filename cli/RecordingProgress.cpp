#include "cli/RecordingProgress.h"

#include "cli/ResumeState.h"
#include "common/CancelToken.h"
#include "common/Failure.h"

RecordingProgress::RecordingProgress(SendProgress &shown, SendRecord &record, std::size_t first,
                                     Save save, CancelToken &cancel)
    : m_shown(shown), m_record(record), m_first(first), m_save(std::move(save)), m_cancel(cancel)
{
}

void RecordingProgress::planned(const BatchPlan &plan)
{
    if (m_first < m_record.messages.size()) {
        m_record.messages[m_first].state = MessageState::Going;
        save();
    }
    BatchPlan rest;
    for (std::size_t i = m_first; i < plan.messages.size(); ++i) {
        rest.messages.push_back(plan.messages[i]);
        rest.totalBytes += plan.messages[i].bytes;
        rest.fileCount += int(plan.messages[i].files.size());
    }
    m_shown.planned(rest);
}

void RecordingProgress::fileStarted(const QString &name)
{
    m_shown.fileStarted(name);
}

void RecordingProgress::bytesDone(std::int64_t n)
{
    m_shown.bytesDone(n);
}

void RecordingProgress::messageFiled(int index, const QString &subject)
{
    const auto i = std::size_t(index);
    if (i < m_record.messages.size()) {
        m_record.messages[i].state = MessageState::Went;
        if (i + 1 < m_record.messages.size())
            m_record.messages[i + 1].state = MessageState::Going;
        save();
    }
    m_shown.messageFiled(int(i - m_first), subject);
}

void RecordingProgress::save()
{
    if (!m_failure.isEmpty())
        return;
    try {
        m_save(m_record);
    } catch (const Failure &failure) {
        m_failure = failure.description();
        m_cancel.cancel();
    }
}
