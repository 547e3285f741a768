#include "cli/TerminalProgress.h"

TerminalProgress::TerminalProgress(std::FILE *terminal) : m_terminal(terminal)
{
    m_clock.start();
}

TerminalProgress::~TerminalProgress()
{
    if (m_lastShown >= 0)
        std::fputs("\r\033[K", m_terminal);
    std::fflush(m_terminal);
}

void TerminalProgress::planned(const BatchPlan &plan)
{
    m_status.planned(plan);
    show(true);
}

void TerminalProgress::fileStarted(const QString &name)
{
    m_status.fileStarted(name);
}

void TerminalProgress::bytesDone(std::int64_t n)
{
    m_status.bytesDone(n);
    show(false);
}

void TerminalProgress::messageFiled(int index, const QString &subject)
{
    m_status.messageFiled(index, subject);
    show(true);
}

void TerminalProgress::show(bool now)
{
    const qint64 elapsed = m_clock.elapsed();
    if (!now && m_lastShown >= 0 && elapsed - m_lastShown < 200)
        return;
    m_lastShown = elapsed;
    const ProgressTexts texts = progressTexts(m_status.snapshot(), double(elapsed) / 1000.0);
    QString line = texts.messages + QStringLiteral(", ") + texts.bytes;
    if (!texts.rate.isEmpty())
        line += QStringLiteral(", ") + texts.rate + QStringLiteral(", ") + texts.timeLeft;
    std::fprintf(m_terminal, "\r%s\033[K", line.toLocal8Bit().constData());
    std::fflush(m_terminal);
}
