#pragma once

#include "mailbridge/oauth/OAuthProvider.h"
#include "mailbridge/oauth/Pkce.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

class LoopbackListener;
class PasswordStore;

// One sign-in in the person's browser: the authorization code flow with PKCE and a loopback
// redirect. The code is exchanged only for an answer carrying this sign-in's state; the
// refresh token goes into the keyring and nowhere else.
class OAuthSignIn : public QObject
{
    Q_OBJECT

public:
    // Shows the page in a browser; false when none could be started.
    using OpenUrl = std::function<bool(const QUrl &url)>;

    OAuthSignIn(OAuthEndpoints endpoints, PasswordStore &keyring, QString keyringKey,
                OpenUrl openUrl, QObject *parent = nullptr);
    ~OAuthSignIn() override;

    // Starts listening and opens the browser. Throws Failure when either cannot be done.
    void start(std::chrono::milliseconds patience = std::chrono::minutes(5));
    QUrl authorizeUrl() const { return m_authorizeUrl; }

signals:
    // Exactly one of the two, once.
    void signedIn();
    void failed(const QString &reason);

private:
    QString takeAnswer(const QUrlQuery &query);
    void exchange(const QString &code);
    void finish(const QString &failure);

    OAuthEndpoints m_endpoints;
    PasswordStore &m_keyring;
    QString m_keyringKey;
    OpenUrl m_openUrl;
    Pkce m_pkce;
    QString m_state;
    QUrl m_authorizeUrl;
    std::unique_ptr<LoopbackListener> m_listener;
    QTimer m_patience;
    bool m_finished = false;
};
