#pragma once

#include "mailbridge/AccessTokenSource.h"

#include <QString>

#include <chrono>
#include <mutex>

// Access tokens from the person's own helper (TokenCommand): run like PasswordCommand, its
// first output line is the token. Run once, and again whenever the server refused the token.
class CommandTokenSource : public AccessTokenSource
{
public:
    explicit CommandTokenSource(QString command,
                                std::chrono::milliseconds timeout = std::chrono::seconds(30));

    QString accessToken(bool refresh) override;
    void setCancelCheck(std::function<bool()> cancelled) override;

private:
    bool cancelled();

    QString m_command;
    std::chrono::milliseconds m_timeout;
    std::mutex m_mutex;
    // Apart, so that the check can change while a command runs.
    std::mutex m_cancelLock;
    std::function<bool()> m_cancelled;
    QString m_token;
};
