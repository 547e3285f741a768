#pragma once

#include <QString>
#include <QUrl>
#include <QUrlQuery>

#include <chrono>

// What a token endpoint handed out.
struct TokenGrant
{
    QString accessToken;
    QString refreshToken; // empty when the server keeps the one it had
    std::chrono::seconds lifetime{3600};
};

// The words for a sign-in the server no longer honours.
QString signInAgainText();

// Posts form to the token endpoint and waits for its answer, on any thread. Throws Failure:
// "Sign in again in the Mail account window" when the server refuses the grant
// (invalid_grant), else naming the server and its reason. No token appears in a Failure.
TokenGrant requestToken(const QUrl &tokenUrl, const QUrlQuery &form,
                        std::chrono::milliseconds timeout = std::chrono::seconds(30));
