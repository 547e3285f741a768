#pragma once

#include "mailbridge/oauth/GrantOwner.h"
#include "mailbridge/oauth/LoopbackListener.h"
#include "mailbridge/oauth/OAuthProvider.h"
#include "mailbridge/oauth/Pkce.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>

class PasswordStore;

// One sign-in in the person's browser: the authorization code flow with PKCE and a loopback
// redirect. The browser is sent to a page of the listener's, which forwards it once to the
// provider, so the state never shows in a command line another user could read. The code is
// exchanged only for an answer carrying this sign-in's state, on a worker; the grant is kept
// only once it is found to be the account user's, and then only in the keyring.
class OAuthSignIn : public QObject
{
    Q_OBJECT

public:
    // Shows the page in a browser; false when none could be started.
    using OpenUrl = std::function<bool(const QUrl &url)>;

    // user: the account's user, whom the grant must belong to; testLogin: how to check that
    // where the provider names nobody (see checkGrantOwner).
    OAuthSignIn(OAuthEndpoints endpoints, PasswordStore &keyring, QString keyringKey, QString user,
                OpenUrl openUrl, TestLogin testLogin = {}, QObject *parent = nullptr);
    // Stops a code exchange still running; its result is dropped.
    ~OAuthSignIn() override;

    // Starts listening and opens the browser. Throws Failure when either cannot be done.
    void start(std::chrono::milliseconds patience = std::chrono::minutes(5));
    // The provider's page with this sign-in's state: never handed to another program.
    QUrl authorizeUrl() const { return m_authorizeUrl; }
    // The page the browser is sent to: this machine's listener, with nothing secret in it.
    QUrl startUrl() const;
    // How long the code exchange and the check may take together.
    void setExchangeDeadline(std::chrono::milliseconds deadline) { m_exchangeDeadline = deadline; }

signals:
    // Exactly one of the two, once.
    void signedIn();
    void failed(const QString &reason);

private:
    ListenerAnswer takeRequest(const QString &path, const QUrlQuery &query);
    ListenerAnswer takeAnswer(const QUrlQuery &query);
    void exchange(const QString &code);
    void exchanged(const QString &failure, const QString &refreshToken);
    void finish(const QString &failure);

    OAuthEndpoints m_endpoints;
    PasswordStore &m_keyring;
    QString m_keyringKey;
    QString m_user;
    OpenUrl m_openUrl;
    TestLogin m_testLogin;
    Pkce m_pkce;
    QString m_state;
    QUrl m_authorizeUrl;
    std::unique_ptr<LoopbackListener> m_listener;
    QTimer m_patience;
    QTimer m_exchangeWatch;
    std::chrono::milliseconds m_exchangeDeadline{std::chrono::seconds(60)};
    bool m_startServed = false;
    bool m_finished = false;
    // Set to stop the exchange on its worker; the worker keeps its own reference.
    std::shared_ptr<std::atomic<bool>> m_cancel = std::make_shared<std::atomic<bool>>(false);
};
