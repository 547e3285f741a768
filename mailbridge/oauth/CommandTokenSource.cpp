#include "mailbridge/oauth/CommandTokenSource.h"

#include "mailbridge/password/PasswordCommand.h"

CommandTokenSource::CommandTokenSource(QString command, std::chrono::milliseconds timeout)
    : m_command(std::move(command)), m_timeout(timeout)
{
}

void CommandTokenSource::setCancelCheck(std::function<bool()> cancelled)
{
    const std::lock_guard lock(m_cancelLock);
    m_cancelled = std::move(cancelled);
}

QString CommandTokenSource::accessToken(bool refresh)
{
    const std::lock_guard lock(m_mutex);
    if (refresh || m_token.isEmpty())
        m_token = runFirstLineCommand(m_command, QStringLiteral("token"), m_timeout,
                                      [this] { return cancelled(); });
    return m_token;
}

bool CommandTokenSource::cancelled()
{
    const std::lock_guard lock(m_cancelLock);
    return m_cancelled && m_cancelled();
}
