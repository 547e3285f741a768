#pragma once

#include "mailbridge/oauth/OAuthProvider.h"

#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

// The tests' own OAuth 2.0 authorization server (authorization_server.py) on a free port of
// 127.0.0.1, for as long as the object lives.
class AuthorizationServer
{
public:
    // arguments: e.g. "--access-lifetime", "2", or "--rotate".
    explicit AuthorizationServer(const QStringList &arguments = {});
    ~AuthorizationServer();
    AuthorizationServer(const AuthorizationServer &) = delete;
    AuthorizationServer &operator=(const AuthorizationServer &) = delete;

    QUrl url(const QString &path) const;
    // A custom provider's settings pointing here, with the client ID the server knows.
    OAuthEndpoints endpoints() const;
    // Counts of what the server did: code_grants, refresh_grants, refused, introspections.
    QJsonObject counts() const;
    // POSTs form to path; the JSON answer.
    QJsonObject post(const QString &path, const QUrlQuery &form) const;
    void revoke(const QString &token) const;
    // "active" of the token by introspection.
    bool isActive(const QString &token) const;

    static QString clientId();

private:
    QProcess m_process;
    int m_port = 0;
};

// The browser a sign-in opens, played by play_browser.py: it consents as user and follows
// the redirect to the listener. With replacedState set, it puts that in place of the state.
// output() gives what it printed once it finished.
class PlayedBrowser
{
public:
    explicit PlayedBrowser(QString user, std::optional<QString> replacedState = std::nullopt);
    ~PlayedBrowser();
    // The function a sign-in opens its URL with.
    bool open(const QUrl &url);
    // Waits for the browser to finish; what it printed.
    QString output();
    QList<QUrl> opened;

private:
    QString m_user;
    std::optional<QString> m_state;
    QProcess m_process;
};
