#include "mailbridge/review/FiledDraftsFile.h"

#include "common/Failure.h"
#include "common/HomePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>
#include <QSaveFile>

namespace {

// The drafts of one account, newest last.
QJsonArray draftsOf(const QJsonObject &record, const QString &account)
{
    return record.value(QStringLiteral("accounts")).toObject().value(account).toArray();
}

QJsonObject withDrafts(QJsonObject record, const QString &account, const QJsonArray &drafts)
{
    QJsonObject accounts = record.value(QStringLiteral("accounts")).toObject();
    if (drafts.isEmpty())
        accounts.remove(account);
    else
        accounts.insert(account, drafts);
    record.insert(QStringLiteral("accounts"), accounts);
    return record;
}

FiledDraft draftFrom(const QJsonObject &object)
{
    FiledDraft draft;
    draft.messageId = object.value(QStringLiteral("messageId")).toString();
    draft.subject = object.value(QStringLiteral("subject")).toString();
    for (const QJsonValue &name : object.value(QStringLiteral("attachments")).toArray())
        draft.attachmentNames << name.toString();
    draft.filed =
        QDateTime::fromString(object.value(QStringLiteral("filed")).toString(), Qt::ISODate);
    return draft;
}

QJsonObject objectFrom(const FiledDraft &draft)
{
    return QJsonObject{
        {QStringLiteral("messageId"), draft.messageId},
        {QStringLiteral("subject"), draft.subject},
        {QStringLiteral("attachments"), QJsonArray::fromStringList(draft.attachmentNames)},
        {QStringLiteral("filed"), draft.filed.toString(Qt::ISODate)},
    };
}

// The path, once its folder is there, for this user's eyes only: the record names files and
// addresses.
QString madeFolderOf(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder) &&
        (!QDir().mkpath(folder) ||
         !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)))
        throw Failure(QStringLiteral("Cannot create the folder %1.").arg(withHomeAsTilde(folder)));
    return path;
}

// Held while the record is read, changed and written back.
class RecordLock
{
public:
    explicit RecordLock(const QString &path) : m_lock(madeFolderOf(path) + QStringLiteral(".lock"))
    {
        m_lock.setStaleLockTime(60000);
        if (!m_lock.tryLock(10000))
            throw Failure(QStringLiteral("Cannot lock %1: another Ferrymail keeps it locked.")
                              .arg(withHomeAsTilde(path)));
    }

private:
    QLockFile m_lock;
};

} // namespace

FiledDraftsFile::FiledDraftsFile(QString path, int maxDraftsPerAccount)
    : m_path(std::move(path)), m_maxDrafts(maxDraftsPerAccount)
{
}

QJsonObject FiledDraftsFile::read() const
{
    QFile file(m_path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(
            QStringLiteral("Cannot read %1: %2").arg(withHomeAsTilde(m_path), file.errorString()));
    const QByteArray text = file.read(maxBytes + 1);
    if (text.size() > maxBytes)
        throw Failure(QStringLiteral("The record of filed drafts %1 is larger than %2 MiB; "
                                     "remove it to start afresh.")
                          .arg(withHomeAsTilde(m_path))
                          .arg(maxBytes >> 20));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (!document.isObject())
        throw Failure(QStringLiteral("The record of filed drafts %1 is damaged (%2); remove it "
                                     "to start afresh.")
                          .arg(withHomeAsTilde(m_path), error.errorString()));
    return document.object();
}

void FiledDraftsFile::write(const QJsonObject &record) const
{
    QSaveFile file(madeFolderOf(m_path));
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner) ||
        file.write(QJsonDocument(record).toJson(QJsonDocument::Compact)) < 0 || !file.commit())
        throw Failure(
            QStringLiteral("Cannot write %1: %2").arg(withHomeAsTilde(m_path), file.errorString()));
}

std::vector<FiledDraft> FiledDraftsFile::of(const QString &account) const
{
    std::vector<FiledDraft> drafts;
    for (const QJsonValue &value : draftsOf(read(), account))
        drafts.push_back(draftFrom(value.toObject()));
    return drafts;
}

void FiledDraftsFile::add(const QString &account, const FiledDraft &draft)
{
    const RecordLock lock(m_path);
    const QJsonObject record = read();
    QJsonArray drafts = draftsOf(record, account);
    drafts.append(objectFrom(draft));
    while (drafts.size() > m_maxDrafts)
        drafts.removeFirst();
    write(withDrafts(record, account, drafts));
}

void FiledDraftsFile::remove(const QString &account, const QStringList &messageIds)
{
    const RecordLock lock(m_path);
    const QJsonObject record = read();
    QJsonArray kept;
    for (const QJsonValue &value : draftsOf(record, account))
        if (!messageIds.contains(value.toObject().value(QStringLiteral("messageId")).toString()))
            kept.append(value);
    write(withDrafts(record, account, kept));
}
