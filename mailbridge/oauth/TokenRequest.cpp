#include "mailbridge/oauth/TokenRequest.h"

#include "common/Failure.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace {

// Token endpoints answer with a small JSON object; anything larger is not one.
constexpr qint64 largestAnswer = 64 * 1024;

} // namespace

QString signInAgainText()
{
    return QStringLiteral("Sign in again in the Mail account window: the sign-in kept for this "
                          "account has expired or was revoked.");
}

TokenGrant requestToken(const QUrl &tokenUrl, const QUrlQuery &form,
                        std::chrono::milliseconds timeout)
{
    const QString server = tokenUrl.host();
    QNetworkAccessManager network;
    QNetworkRequest request(tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(int(timeout.count()));
    // A token endpoint that redirects is misconfigured; the form would follow it elsewhere.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    const std::unique_ptr<QNetworkReply> reply(
        network.post(request, form.query(QUrl::FullyEncoded).toUtf8()));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = reply->read(largestAnswer);
    const QJsonObject answer = QJsonDocument::fromJson(body).object();
    const QString error = answer.value(QLatin1String("error")).toString();
    if (error == QLatin1String("invalid_grant"))
        throw Failure(signInAgainText());
    if (status == 0)
        throw Failure(QStringLiteral("Could not reach the sign-in server %1: %2")
                          .arg(server, reply->errorString()));
    if (!error.isEmpty()) {
        const QString description = answer.value(QLatin1String("error_description")).toString();
        throw Failure(QStringLiteral("The sign-in server %1 refused the token request: %2%3")
                          .arg(server, error,
                               description.isEmpty()
                                   ? QString()
                                   : QStringLiteral(" (") + description + QLatin1Char(')')));
    }
    TokenGrant grant;
    grant.accessToken = answer.value(QLatin1String("access_token")).toString();
    if (status != 200 || grant.accessToken.isEmpty())
        throw Failure(QStringLiteral("The sign-in server %1 answered the token request with "
                                     "HTTP status %2 and no access token.")
                          .arg(server)
                          .arg(status));
    grant.refreshToken = answer.value(QLatin1String("refresh_token")).toString();
    const qint64 lifetime = answer.value(QLatin1String("expires_in")).toVariant().toLongLong();
    if (lifetime > 0)
        grant.lifetime = std::chrono::seconds(lifetime);
    return grant;
}
