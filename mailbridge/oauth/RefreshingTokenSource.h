#pragma once

#include "mailbridge/AccessTokenSource.h"
#include "mailbridge/oauth/OAuthProvider.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class PasswordStore;

// Access tokens bought with the refresh token the sign-in left in the keyring: kept in
// memory only, and bought anew a minute before they expire, so a Send never meets an expired
// one. The keyring is read at the first token, on the thread that asks for it (a Send's or
// the command line's), never the window's.
class RefreshingTokenSource : public AccessTokenSource
{
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    RefreshingTokenSource(OAuthEndpoints endpoints, std::shared_ptr<PasswordStore> keyring,
                          QString keyringKey, Clock clock = std::chrono::system_clock::now);

    QString accessToken(bool refresh) override;
    void setCancelCheck(std::function<bool()> cancelled) override;

private:
    bool cancelled();

    OAuthEndpoints m_endpoints;
    std::shared_ptr<PasswordStore> m_keyring;
    QString m_keyringKey;
    Clock m_clock;
    std::mutex m_mutex;
    // Apart, so that the check can change while a request runs.
    std::mutex m_cancelLock;
    std::function<bool()> m_cancelled;
    std::optional<QString> m_refreshToken;
    QString m_token;
    std::chrono::system_clock::time_point m_expires;
};
