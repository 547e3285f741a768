#include "support/oauth/AuthorizationServer.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <gtest/gtest.h>

#include <memory>

namespace {

QJsonObject postForm(const QUrl &url, const QUrlQuery &form)
{
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    request.setTransferTimeout(10'000);
    const std::unique_ptr<QNetworkReply> reply(
        url.path() == QLatin1String("/test/counts")
            ? network.get(request)
            : network.post(request, form.query(QUrl::FullyEncoded).toUtf8()));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    return QJsonDocument::fromJson(reply->readAll()).object();
}

} // namespace

AuthorizationServer::AuthorizationServer(const QStringList &arguments)
{
    m_process.setProgram(QStringLiteral("python3"));
    m_process.setArguments(
        QStringList{QStringLiteral(OAUTH_SUPPORT_DIR "/authorization_server.py")} + arguments);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    EXPECT_TRUE(m_process.waitForStarted(10'000)) << "python3 did not start";
    while (!m_process.canReadLine() && m_process.waitForReadyRead(10'000)) {
    }
    m_port = m_process.readLine().trimmed().toInt();
    EXPECT_GT(m_port, 0) << "the authorization server gave no port";
}

AuthorizationServer::~AuthorizationServer()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5'000)) {
        m_process.kill();
        m_process.waitForFinished(5'000);
    }
}

QString AuthorizationServer::clientId()
{
    return QStringLiteral("ferrymail-tests");
}

QUrl AuthorizationServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}

OAuthEndpoints AuthorizationServer::endpoints() const
{
    OAuthEndpoints endpoints;
    endpoints.authorizeUrl = url(QStringLiteral("/authorize"));
    endpoints.tokenUrl = url(QStringLiteral("/token"));
    endpoints.scope = QStringLiteral("imap offline_access openid");
    endpoints.clientId = clientId();
    return endpoints;
}

QJsonObject AuthorizationServer::counts() const
{
    return postForm(url(QStringLiteral("/test/counts")), {});
}

QJsonObject AuthorizationServer::post(const QString &path, const QUrlQuery &form) const
{
    return postForm(url(path), form);
}

void AuthorizationServer::revoke(const QString &token) const
{
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("token"), token);
    post(QStringLiteral("/revoke"), form);
}

bool AuthorizationServer::isActive(const QString &token) const
{
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("token"), token);
    return post(QStringLiteral("/introspect"), form).value(QLatin1String("active")).toBool();
}

PlayedBrowser::PlayedBrowser(QString user, std::optional<QString> replacedState)
    : m_user(std::move(user)), m_state(std::move(replacedState))
{
}

PlayedBrowser::~PlayedBrowser()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5'000);
    }
}

bool PlayedBrowser::open(const QUrl &url)
{
    opened << url;
    QStringList arguments{QStringLiteral(OAUTH_SUPPORT_DIR "/play_browser.py"),
                          url.toString(QUrl::FullyEncoded), m_user};
    if (m_state)
        arguments << QStringLiteral("--state") << *m_state;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("python3"), arguments);
    return m_process.waitForStarted(10'000);
}

QString PlayedBrowser::output()
{
    // Its requests to the listener need this thread's event loop: wait by turning it.
    QEventLoop loop;
    QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
    if (m_process.state() != QProcess::NotRunning)
        loop.exec();
    return QString::fromUtf8(m_process.readAll());
}
