#pragma once

#include "mailbridge/oauth/TokenRequest.h"

#include <QString>
#include <QStringList>

#include <functional>

// The names an OpenID Connect ID token gives its owner (email, preferred_username); none
// for a token that is not one. The token came straight from the token endpoint over the
// connection this program opened, so its signature is not what vouches for it.
QStringList idTokenNames(const QString &idToken);

// Logs in to the account's server as its user with an access token; throws Failure when the
// server refuses it. Runs on a worker and stops once cancelled says true.
using TestLogin =
    std::function<void(const QString &accessToken, const std::function<bool()> &cancelled)>;

// Throws Failure unless the grant belongs to user: by the ID token's names where the
// provider gave any, else by a test login (none: the grant is refused as unchecked).
void checkGrantOwner(const TokenGrant &grant, const QString &user, const TestLogin &testLogin,
                     const std::function<bool()> &cancelled);
