#include "mailbridge/oauth/GrantOwner.h"

#include "common/Failure.h"
#include "mailbridge/password/SecretText.h"

#include <QJsonDocument>
#include <QJsonObject>

QStringList idTokenNames(const QString &idToken)
{
    // header.payload.signature, each base64url.
    const QStringList parts = idToken.split(u'.');
    if (parts.size() != 3 || parts[1].size() > 16 * 1024)
        return {};
    const auto decoded = QByteArray::fromBase64Encoding(
        parts[1].toLatin1(), QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    if (!decoded)
        return {};
    const QJsonObject claims = QJsonDocument::fromJson(*decoded).object();
    QStringList names;
    for (const char *claim : {"email", "preferred_username"})
        if (const QString name = claims.value(QLatin1String(claim)).toString(); !name.isEmpty())
            names << name;
    return names;
}

void checkGrantOwner(const TokenGrant &grant, const QString &user, const TestLogin &testLogin,
                     const std::function<bool()> &cancelled)
{
    const QStringList names = idTokenNames(grant.idToken);
    if (!names.isEmpty()) {
        for (const QString &name : names)
            if (name.compare(user, Qt::CaseInsensitive) == 0)
                return;
        throw Failure(QStringLiteral("The sign-in in the browser was made as %1, not as %2, the "
                                     "account's user. It was not kept. Sign in again as %2; if "
                                     "you did not just sign in as %1, another program on this "
                                     "machine may have answered in your place.")
                          .arg(escapedControls(names.first()), user));
    }
    if (!testLogin)
        throw Failure(QStringLiteral("The sign-in server named nobody in its answer, so the "
                                     "sign-in could not be checked to be %1's. It was not kept.")
                          .arg(user));
    try {
        testLogin(grant.accessToken, cancelled);
    } catch (const Failure &failure) {
        if (cancelled && cancelled())
            throw;
        throw Failure(QStringLiteral("The sign-in could not log in as %1, so it was not kept: "
                                     "it may belong to someone else. Sign in again as %1. (%2)")
                          .arg(user, failure.description()));
    }
}
