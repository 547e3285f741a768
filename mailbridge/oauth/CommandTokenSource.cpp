#include "mailbridge/oauth/CommandTokenSource.h"

#include "mailbridge/password/PasswordCommand.h"

CommandTokenSource::CommandTokenSource(QString command, std::chrono::milliseconds timeout)
    : m_command(std::move(command)), m_timeout(timeout)
{
}

QString CommandTokenSource::accessToken(bool refresh)
{
    const std::lock_guard lock(m_mutex);
    if (refresh || m_token.isEmpty())
        m_token = runFirstLineCommand(m_command, QStringLiteral("token"), m_timeout);
    return m_token;
}
