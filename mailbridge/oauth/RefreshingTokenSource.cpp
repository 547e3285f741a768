#include "mailbridge/oauth/RefreshingTokenSource.h"

#include "common/Failure.h"
#include "mailbridge/oauth/TokenRequest.h"
#include "mailbridge/password/PasswordStore.h"

#include <QUrlQuery>

namespace {

// Early enough that a token handed out is still good through a login on a slow line.
constexpr std::chrono::seconds margin{60};

} // namespace

RefreshingTokenSource::RefreshingTokenSource(OAuthEndpoints endpoints,
                                             std::shared_ptr<PasswordStore> keyring,
                                             QString keyringKey, Clock clock)
    : m_endpoints(std::move(endpoints)), m_keyring(std::move(keyring)),
      m_keyringKey(std::move(keyringKey)), m_clock(std::move(clock))
{
}

void RefreshingTokenSource::setCancelCheck(std::function<bool()> cancelled)
{
    const std::lock_guard lock(m_cancelLock);
    m_cancelled = std::move(cancelled);
}

bool RefreshingTokenSource::cancelled()
{
    const std::lock_guard lock(m_cancelLock);
    return m_cancelled && m_cancelled();
}

QString RefreshingTokenSource::accessToken(bool refresh)
{
    const std::lock_guard lock(m_mutex);
    const auto now = m_clock();
    if (!refresh && !m_token.isEmpty() && now + margin < m_expires)
        return m_token;
    m_token.clear();

    if (!m_refreshToken) {
        const PasswordLookup kept = m_keyring->lookUp(m_keyringKey);
        if (!kept.unreachable.isEmpty())
            throw Failure(noKeyringText(kept.unreachable));
        m_refreshToken = kept.password.value_or(QString());
    }
    const std::optional<QString> refreshToken = m_refreshToken;
    if (!refreshToken || refreshToken->isEmpty())
        throw Failure(signInAgainText());
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("refresh_token"));
    form.addQueryItem(QStringLiteral("refresh_token"), *refreshToken);
    form.addQueryItem(QStringLiteral("client_id"), m_endpoints.clientId);
    if (!m_endpoints.clientSecret.isEmpty())
        form.addQueryItem(QStringLiteral("client_secret"), m_endpoints.clientSecret);
    const TokenGrant grant =
        requestToken(m_endpoints.tokenUrl, form, {}, [this] { return cancelled(); });
    if (!grant.refreshToken.isEmpty() && grant.refreshToken != *refreshToken) {
        m_refreshToken = grant.refreshToken;
        m_keyring->write(m_keyringKey, grant.refreshToken);
    }
    m_token = grant.accessToken;
    m_expires = now + grant.lifetime;
    return m_token;
}
