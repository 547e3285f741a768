#include "ImapFolderReader.h"

#include <QRegularExpression>
#include <QUrl>

#include <curl/curl.h>
#include <memory>
#include <stdexcept>

namespace {

std::size_t append(char *data, std::size_t size, std::size_t count, void *target)
{
    static_cast<QByteArray *>(target)->append(data, qsizetype(size * count));
    return size * count;
}

std::size_t appendLine(char *data, std::size_t size, std::size_t count, void *target)
{
    static_cast<QList<QByteArray> *>(target)->push_back(
        QByteArray(data, qsizetype(size * count)).trimmed());
    return size * count;
}

} // namespace

ImapFolderReader::ImapFolderReader(int imapsPort, QString caFile, QString user, QString password,
                                   QString serverName)
    : m_port(imapsPort), m_caFile(caFile.toUtf8()), m_user(user.toUtf8()),
      m_password(password.toUtf8()), m_serverName(serverName.toUtf8())
{
}

QByteArray ImapFolderReader::base() const
{
    return "imaps://" + m_serverName + ':' + QByteArray::number(m_port) + '/';
}

QByteArray ImapFolderReader::fetch(const QByteArray &url, const QByteArray &request,
                                   QList<QByteArray> *lines) const
{
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    QByteArray body;
    QList<QByteArray> headerLines;
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.constData());
    curl_easy_setopt(curl.get(), CURLOPT_USERNAME, m_user.constData());
    curl_easy_setopt(curl.get(), CURLOPT_PASSWORD, m_password.constData());
    curl_easy_setopt(curl.get(), CURLOPT_CAINFO, m_caFile.constData());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, append);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, appendLine);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &headerLines);
    const QByteArray pinned = m_serverName + ':' + QByteArray::number(m_port) + ":127.0.0.1";
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> resolve(
        curl_slist_append(nullptr, pinned.constData()), &curl_slist_free_all);
    curl_easy_setopt(curl.get(), CURLOPT_RESOLVE, resolve.get());
    if (!request.isEmpty())
        curl_easy_setopt(curl.get(), CURLOPT_CUSTOMREQUEST, request.constData());
    const CURLcode code = curl_easy_perform(curl.get());
    if (code != CURLE_OK)
        throw std::runtime_error("reading " + url.toStdString() + " " + request.toStdString() +
                                 ": " + curl_easy_strerror(code) + " " +
                                 headerLines.join('\n').toStdString());
    if (lines)
        *lines = headerLines;
    return body;
}

QList<QByteArray> ImapFolderReader::command(const QByteArray &line, const QString &folder) const
{
    QByteArray url = base();
    if (!folder.isEmpty())
        url += QUrl::toPercentEncoding(folder);
    QList<QByteArray> lines;
    fetch(url, line, &lines);
    return lines;
}

std::vector<StoredMessage> ImapFolderReader::messages(const QString &folder) const
{
    const QByteArray url = base() + QUrl::toPercentEncoding(folder);
    std::vector<StoredMessage> messages;
    // Servers give the items in either order.
    static const QRegularExpression uid(QStringLiteral(R"(UID (\d+))"));
    static const QRegularExpression flags(QStringLiteral(R"(FLAGS \(([^)]*)\))"));
    for (const QByteArray &line : command("UID FETCH 1:* (UID FLAGS)", folder)) {
        const auto uidMatch = uid.match(QString::fromLatin1(line));
        const auto flagsMatch = flags.match(QString::fromLatin1(line));
        if (!line.startsWith("* ") || !uidMatch.hasMatch() || !flagsMatch.hasMatch())
            continue;
        StoredMessage message;
        message.uid = uidMatch.captured(1).toULongLong();
        message.flags = flagsMatch.captured(1).split(' ', Qt::SkipEmptyParts);
        message.bytes = fetch(url + ";UID=" + QByteArray::number(qulonglong(message.uid)),
                              QByteArray(), nullptr);
        messages.push_back(message);
    }
    return messages;
}

QStringList ImapFolderReader::subscribedFolders() const
{
    QStringList folders;
    for (const QByteArray &line : command("LSUB \"\" \"*\"")) {
        if (!line.startsWith("* LSUB"))
            continue;
        // * LSUB () "/" name
        QString name = QString::fromUtf8(line.mid(line.indexOf(") ") + 6));
        name.remove(QLatin1Char('"'));
        folders << name;
    }
    return folders;
}
