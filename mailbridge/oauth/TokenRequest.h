#pragma once

#include <QString>
#include <QUrl>
#include <QUrlQuery>

#include <chrono>
#include <functional>

// What a token endpoint handed out.
struct TokenGrant
{
    QString accessToken;
    QString refreshToken; // empty when the server keeps the one it had
    QString idToken;      // the OpenID Connect ID token, when the server gives one
    std::chrono::seconds lifetime{3600};
};

// How long a token request may take, all told, and how much its answer may hold.
struct TokenRequestLimits
{
    std::chrono::milliseconds deadline{std::chrono::seconds(30)};
    // Token endpoints answer with a small JSON object; anything larger is not one.
    qint64 largestAnswer = 64 * 1024;
    // How often a cancel is looked at while the answer is awaited.
    std::chrono::milliseconds cancelSlice{50};
};

// The words for a sign-in the server no longer honours.
QString signInAgainText();
// The words for a sign-in kept in a keyring that cannot be reached (over ssh, say): why.
QString noKeyringText(const QString &why);

// Posts form to the token endpoint and waits for its answer on the calling thread, which
// must not be the window's: call it from a worker (or a command line without a window).
// The request ends at the deadline, as soon as its answer grows past the cap, and at once
// when cancelled says true (SendCancelled). Throws Failure: "Sign in again in the Mail
// account window" when the server refuses the grant (invalid_grant), else naming the server
// and its reason, with its control characters escaped. No token appears in a Failure.
TokenGrant requestToken(const QUrl &tokenUrl, const QUrlQuery &form,
                        const TokenRequestLimits &limits = {},
                        const std::function<bool()> &cancelled = {});
