#pragma once

#include <QString>

#include <functional>

// Gives the access token an OAuth 2.0 login presents.
class AccessTokenSource
{
public:
    virtual ~AccessTokenSource() = default;
    // A token that is still valid, refreshed first when it is about to expire; with refresh
    // set, a new one whatever its age (the server refused the last). Throws Failure, for a
    // revoked sign-in saying "Sign in again in the Mail account window".
    virtual QString accessToken(bool refresh) = 0;
    // Asked while a token is awaited, so that a Send can be stopped then too: once it says
    // true, accessToken throws SendCancelled.
    virtual void setCancelCheck(std::function<bool()>) {}
};
