#pragma once

#include "mailbridge/oauth/OAuthSignIn.h"
#include "mailbridge/password/PasswordStore.h"
#include "support/oauth/AuthorizationServer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

// The outcome of one sign-in in the played browser.
struct SignInOutcome
{
    bool signedIn = false;
    QString failure;
    QString browserSaw; // what play_browser.py printed
    QUrl authorizeUrl;
};

// The account's user is "me" unless told; the browser signs in as whom it was made for.
inline SignInOutcome signIn(const AuthorizationServer &server, PasswordStore &keyring,
                            const QString &key, PlayedBrowser &browser,
                            bool redirectToLocalhost = false, const QString &user = "me",
                            std::chrono::milliseconds patience = std::chrono::seconds(60),
                            OAuthEndpoints endpoints = {}, TestLogin testLogin = {})
{
    SignInOutcome outcome;
    if (endpoints.tokenUrl.isEmpty())
        endpoints = server.endpoints();
    endpoints.redirectToLocalhost = redirectToLocalhost;
    OAuthSignIn signIn(
        endpoints, keyring, key, user, [&browser](const QUrl &url) { return browser.open(url); },
        std::move(testLogin));
    QSignalSpy succeeded(&signIn, &OAuthSignIn::signedIn);
    QSignalSpy failed(&signIn, &OAuthSignIn::failed);
    signIn.start(patience);
    outcome.authorizeUrl = signIn.authorizeUrl();
    outcome.browserSaw = browser.output();
    QElapsedTimer waited;
    waited.start();
    while (succeeded.isEmpty() && failed.isEmpty() && waited.elapsed() < 30'000)
        QTest::qWait(20);
    EXPECT_FALSE(succeeded.isEmpty() && failed.isEmpty()) << "the sign-in never ended";
    outcome.signedIn = !succeeded.isEmpty();
    if (!failed.isEmpty())
        outcome.failure = failed.first().first().toString();
    EXPECT_LE(succeeded.size() + failed.size(), 1) << "one outcome only";
    return outcome;
}

// Signs user in; the refresh token the keyring got.
inline QString signedInRefreshToken(const AuthorizationServer &server, PasswordStore &keyring,
                                    const QString &key, const QString &user = "me")
{
    PlayedBrowser browser(user);
    const SignInOutcome outcome = signIn(server, keyring, key, browser, false, user);
    EXPECT_TRUE(outcome.signedIn) << outcome.failure.toStdString()
                                  << outcome.browserSaw.toStdString();
    return keyring.read(key).value_or(QString());
}
