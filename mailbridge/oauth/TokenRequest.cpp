#include "mailbridge/oauth/TokenRequest.h"

#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/password/SecretText.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace {

// Why the wait for the answer ended before the answer did.
enum class Cut
{
    None,
    Deadline,
    TooLarge,
    Cancelled
};

// A server's own words, shortened and made safe to show.
QString serverWords(const QString &text)
{
    constexpr qsizetype longest = 300;
    QString words = escapedControls(text);
    if (words.size() > longest)
        words = words.left(longest) + QStringLiteral("…");
    return words;
}

} // namespace

QString signInAgainText()
{
    return QStringLiteral("Sign in again in the Mail account window: the sign-in kept for this "
                          "account has expired or was revoked.");
}

QString noKeyringText(const QString &why)
{
    return QStringLiteral("No keyring could be reached (%1), so the sign-in kept there cannot "
                          "be used. Run this where the desktop's keyring is open, or set "
                          "TokenCommand in the [MailClient] section of "
                          "~/.config/Ferrymail/Ferrymail.conf.")
        .arg(escapedControls(why));
}

TokenGrant requestToken(const QUrl &tokenUrl, const QUrlQuery &form,
                        const TokenRequestLimits &limits, const std::function<bool()> &cancelled)
{
    const QString server = tokenUrl.host();
    QNetworkAccessManager network;
    QNetworkRequest request(tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    // A token endpoint that redirects is misconfigured; the form would follow it elsewhere.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    const std::unique_ptr<QNetworkReply> reply(
        network.post(request, form.query(QUrl::FullyEncoded).toUtf8()));
    // Qt reads no further from the socket once this much waits unread, so the cap below is
    // checked before more arrives.
    reply->setReadBufferSize(limits.largestAnswer + 1);

    Cut cut = Cut::None;
    QEventLoop loop;
    const auto end = [&](Cut why) {
        if (cut == Cut::None)
            cut = why;
        reply->abort();
        loop.quit();
    };
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (announced > limits.largestAnswer)
            end(Cut::TooLarge);
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        if (reply->bytesAvailable() > limits.largestAnswer)
            end(Cut::TooLarge);
    });
    // Qt's transfer timeout starts again at every byte: a server dripping its answer would
    // hold the request for ever. This one counts from the start.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { end(Cut::Deadline); });
    deadline.start(limits.deadline);
    QTimer cancelWatch;
    QObject::connect(&cancelWatch, &QTimer::timeout, &loop, [&] {
        if (cancelled && cancelled())
            end(Cut::Cancelled);
    });
    cancelWatch.start(limits.cancelSlice);
    if (cancelled && cancelled())
        end(Cut::Cancelled);
    if (!reply->isFinished() && cut == Cut::None)
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    switch (cut) {
    case Cut::Cancelled:
        throw SendCancelled();
    case Cut::Deadline:
        throw Failure(QStringLiteral("The sign-in server %1 did not answer the token request "
                                     "within %2 seconds.")
                          .arg(server)
                          .arg(limits.deadline.count() / 1000.0));
    case Cut::TooLarge:
        break;
    case Cut::None:
        if (reply->bytesAvailable() <= limits.largestAnswer)
            break;
        cut = Cut::TooLarge;
        break;
    }
    if (cut == Cut::TooLarge)
        throw Failure(QStringLiteral("The sign-in server %1 answered the token request with "
                                     "more than %2 KiB, which no token answer needs; it was "
                                     "not read.")
                          .arg(server)
                          .arg(limits.largestAnswer / 1024));

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = reply->read(limits.largestAnswer);
    const QJsonObject answer = QJsonDocument::fromJson(body).object();
    const QString error = answer.value(QLatin1String("error")).toString();
    if (error == QLatin1String("invalid_grant"))
        throw Failure(signInAgainText());
    if (status == 0)
        throw Failure(QStringLiteral("Could not reach the sign-in server %1: %2")
                          .arg(server, serverWords(reply->errorString())));
    if (!error.isEmpty()) {
        const QString description = answer.value(QLatin1String("error_description")).toString();
        throw Failure(
            QStringLiteral("The sign-in server %1 refused the token request: %2%3")
                .arg(server, serverWords(error),
                     description.isEmpty()
                         ? QString()
                         : QStringLiteral(" (") + serverWords(description) + QLatin1Char(')')));
    }
    TokenGrant grant;
    grant.accessToken = answer.value(QLatin1String("access_token")).toString();
    if (status != 200 || grant.accessToken.isEmpty())
        throw Failure(QStringLiteral("The sign-in server %1 answered the token request with "
                                     "HTTP status %2 and no access token.")
                          .arg(server)
                          .arg(status));
    const QString source = QStringLiteral("The sign-in server %1").arg(server);
    checkSecretText(grant.accessToken, source);
    grant.refreshToken = answer.value(QLatin1String("refresh_token")).toString();
    checkSecretText(grant.refreshToken, source);
    grant.idToken = answer.value(QLatin1String("id_token")).toString();
    const qint64 lifetime = answer.value(QLatin1String("expires_in")).toVariant().toLongLong();
    if (lifetime > 0)
        grant.lifetime = std::chrono::seconds(lifetime);
    return grant;
}
