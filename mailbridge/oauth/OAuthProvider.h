#pragma once

#include "mailbridge/MailAccount.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

// Where an account's OAuth 2.0 sign-in goes, and as whom this program asks.
struct OAuthEndpoints
{
    QUrl authorizeUrl;
    QUrl tokenUrl;
    QString scope;
    QString clientId;
    QString clientSecret; // empty for providers that take public clients without one
    // Added to the authorize request: what the provider needs to hand out a refresh token.
    QList<QPair<QString, QString>> authorizeExtras;
    // The redirect names `localhost` rather than 127.0.0.1: the only loopback name Microsoft's
    // app registration accepts without editing its manifest.
    bool redirectToLocalhost = false;
};

// The provider's server, for filling in the window.
struct ProviderServer
{
    QString host;
    int port = 993;
    ImapSecurity security = ImapSecurity::Tls;
};

// The presets for Microsoft and Google, the settings for a custom provider; the client ID
// and secret from the settings, else those built into the program. Throws Failure saying
// where to paste a client ID when there is none.
OAuthEndpoints oauthEndpoints(const MailAccount &account);

// The IMAP server of a provider; an empty host for a custom one.
ProviderServer providerServer(OAuthProvider provider);
