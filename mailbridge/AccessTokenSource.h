#pragma once

#include <QString>

// Gives the access token an OAuth 2.0 login presents.
class AccessTokenSource
{
public:
    virtual ~AccessTokenSource() = default;
    // A token that is still valid, refreshed first when it is about to expire; with refresh
    // set, a new one whatever its age (the server refused the last). Throws Failure, for a
    // revoked sign-in saying "Sign in again in the Mail account window".
    virtual QString accessToken(bool refresh) = 0;
};
