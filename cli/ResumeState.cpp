#include "cli/ResumeState.h"

#include "common/Failure.h"
#include "common/FileNameCodec.h"
#include "common/OneLineText.h"
#include "mailbridge/MailAccount.h"
#include "settings/SettingsStore.h"

#include <QCryptographicHash>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>
#include <map>
#include <sys/stat.h>

namespace {

constexpr int recordFormat = 1;
// Far beyond any Send a person makes; a record past them is not one this program wrote.
constexpr qsizetype maxMessages = 100000;
constexpr qsizetype maxFiles = 1000000;

QString shown(const QString &name)
{
    return oneLineText(displayFileName(name));
}

// Names and paths are bytes that need not be UTF-8: kept percent-encoded, exactly.
QString nameText(const QString &name)
{
    return QString::fromLatin1(encodeFileName(name).toPercentEncoding("/ "));
}

const char *stateName(MessageState state)
{
    switch (state) {
    case MessageState::Pending:
        return "pending";
    case MessageState::Going:
        return "going";
    case MessageState::Went:
        return "went";
    case MessageState::Unknown:
        return "unknown";
    }
    return "pending";
}

[[noreturn]] void damaged(const QString &why)
{
    throw Refusal(why);
}

// Reads one field of an object, refusing a missing one or one of another type.
class Fields
{
public:
    Fields(const QJsonObject &object, QString where) : m_object(object), m_where(std::move(where))
    {
    }

    QString text(const char *key) const { return value(key, QJsonValue::String).toString(); }

    QString name(const char *key) const
    {
        const QString encoded = text(key);
        for (const QChar c : encoded)
            if (c.unicode() < 0x20 || c.unicode() > 0x7e)
                damaged(
                    QStringLiteral("%1 has a %2 that is not percent-encoded").arg(m_where, key));
        const QString decoded = decodeFileName(QByteArray::fromPercentEncoding(encoded.toLatin1()));
        if (decoded.isEmpty())
            damaged(QStringLiteral("%1 has an empty %2").arg(m_where, key));
        return decoded;
    }

    bool flag(const char *key) const { return value(key, QJsonValue::Bool).toBool(); }

    // A whole number from 0 to max, kept as text where a double cannot hold it.
    std::int64_t number(const char *key, std::int64_t max) const
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        bool ok = false;
        std::int64_t n = 0;
        if (v.isString()) {
            n = v.toString().toLongLong(&ok);
        } else if (v.isDouble()) {
            const double d = v.toDouble();
            ok = d >= 0 && d <= 9007199254740992.0 && d == double(std::int64_t(d));
            n = ok ? std::int64_t(d) : 0;
        }
        if (!ok || n < 0 || n > max)
            damaged(QStringLiteral("%1 has no valid %2").arg(m_where, key));
        return n;
    }

    std::uint64_t inode(const char *key) const
    {
        bool ok = false;
        const std::uint64_t n = text(key).toULongLong(&ok);
        if (!ok)
            damaged(QStringLiteral("%1 has no valid %2").arg(m_where, key));
        return n;
    }

    QJsonArray array(const char *key) const { return value(key, QJsonValue::Array).toArray(); }

private:
    QJsonValue value(const char *key, QJsonValue::Type type) const
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.type() != type)
            damaged(QStringLiteral("%1 has no valid %2").arg(m_where, key));
        return v;
    }

    const QJsonObject &m_object;
    QString m_where;
};

MessageState stateOf(const QString &text, const QString &where)
{
    for (const MessageState state :
         {MessageState::Pending, MessageState::Going, MessageState::Went, MessageState::Unknown})
        if (text == QLatin1String(stateName(state)))
            return state;
    damaged(QStringLiteral("%1 has an unknown state").arg(where));
}

QString changeOf(const FileStamp &then, const std::optional<FileStamp> &now)
{
    if (!now)
        return QStringLiteral("it is gone or cannot be read");
    if (now->size != then.size)
        return QStringLiteral("its size was %1 bytes, now %2").arg(then.size).arg(now->size);
    if (now->inode != then.inode)
        return QStringLiteral("another file took its place");
    return QStringLiteral("it was modified");
}

} // namespace

QString outboxSettingsDigest(const SettingsStore &settings)
{
    class Collected final : public SettingsStore
    {
    public:
        QString read(const QString &, const QString &, const QString &value) const override
        {
            return value;
        }
        void write(const QString &section, const QString &key, const QString &value) override
        {
            lines[section + QLatin1Char('/') + key] = value;
        }
        std::map<QString, QString> lines;
    } collected;
    writeMailAccount(collected, readMailAccount(settings));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const auto &[key, value] : collected.lines)
        hash.addData((key + QLatin1Char('=') + value + QLatin1Char('\n')).toUtf8());
    return QString::fromLatin1(hash.result().toHex());
}

std::optional<FileStamp> stampOnDisk(const QString &path)
{
    struct stat info = {};
    if (::stat(encodeFileName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileStamp{std::int64_t(info.st_size),
                     std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                     std::uint64_t(info.st_ino)};
}

SendRecord recordOf(const PreparedSend &send, const StampReader &stamp)
{
    SendRecord record;
    const SendRequest &request = send.request;
    record.folder = request.folder;
    record.recipient = request.recipient;
    record.sender = request.sender;
    record.subjectPrefix = request.subjectPrefix;
    record.sizeText = request.sizeText;
    record.manifest = request.manifest;
    record.date = send.date;
    for (const PlannedMessage &planned : send.plan.messages) {
        RecordedMessage message;
        message.subject = planned.subject;
        for (const PlannedFile &file : planned.files) {
            std::optional<FileStamp> now = stamp(file.path);
            // The plan's size is what the split used: a file that grew since changed already.
            if (!now || now->size != file.size)
                throw Failure(QStringLiteral("%1 changed while the Send was planned; nothing was "
                                             "sent.")
                                  .arg(shown(file.path)));
            message.files.push_back({file.name, file.path, *now});
        }
        record.messages.push_back(std::move(message));
    }
    return record;
}

void recordStop(SendRecord &record, std::size_t first, qsizetype filed, qsizetype perhaps)
{
    for (std::size_t i = first; i < record.messages.size(); ++i) {
        const auto done = qsizetype(i - first);
        record.messages[i].state = done < filed             ? MessageState::Went
                                   : done < filed + perhaps ? MessageState::Unknown
                                                            : MessageState::Pending;
    }
}

bool hasPending(const SendRecord &record)
{
    return std::any_of(record.messages.begin(), record.messages.end(),
                       [](const RecordedMessage &m) { return m.state == MessageState::Pending; });
}

ResumePlan resumePlanOf(SendRecord &record, const StampReader &stamp)
{
    ResumePlan resume;
    std::optional<std::size_t> first;
    for (std::size_t i = 0; i < record.messages.size(); ++i) {
        RecordedMessage &message = record.messages[i];
        // A run that ended without saying how (killed, power lost) may have sent it.
        if (message.state == MessageState::Going)
            message.state = MessageState::Unknown;
        if (message.state == MessageState::Unknown)
            resume.unknownSubjects << message.subject;
        if (message.state == MessageState::Pending && !first)
            first = i;
    }
    if (!first) {
        QString text = QStringLiteral("Nothing to resume: no message of the last unfinished "
                                      "Send is left to send.");
        if (!resume.unknownSubjects.isEmpty()) {
            QStringList lines;
            for (const QString &subject : resume.unknownSubjects)
                lines << oneLineText(subject);
            text += QStringLiteral("\nThese may have been sent; look in your Sent folder or ask "
                                   "the recipient, and send their files again by name only if "
                                   "they did not arrive:\n") +
                    lines.join(QLatin1Char('\n'));
        }
        throw Refusal(text);
    }
    for (std::size_t i = *first; i < record.messages.size(); ++i)
        for (const RecordedFile &file : record.messages[i].files) {
            const std::optional<FileStamp> now = stamp(file.path);
            if (!now || !(*now == file.stamp))
                throw Refusal(QStringLiteral("%1 has changed since the Send began (%2); nothing "
                                             "was sent. Send the rest afresh to send the files "
                                             "as they are now.")
                                  .arg(shown(file.path), changeOf(file.stamp, now)));
        }

    PreparedSend &send = resume.send;
    SendRequest &request = send.request;
    request.folder = record.folder;
    request.recipient = record.recipient;
    request.sender = record.sender;
    request.subjectPrefix = record.subjectPrefix;
    request.sizeText = record.sizeText;
    request.manifest = record.manifest;
    send.date = record.date;
    send.firstMessage = *first;
    for (const RecordedMessage &recorded : record.messages) {
        PlannedMessage planned;
        planned.subject = recorded.subject;
        for (const RecordedFile &file : recorded.files) {
            planned.files.push_back({file.name, file.path, file.stamp.size});
            planned.bytes += file.stamp.size;
            ++send.plan.fileCount;
        }
        send.plan.totalBytes += planned.bytes;
        send.plan.messages.push_back(std::move(planned));
    }
    return resume;
}

QByteArray recordText(const SendRecord &record)
{
    QJsonArray messages;
    for (const RecordedMessage &message : record.messages) {
        QJsonArray files;
        for (const RecordedFile &file : message.files)
            files.append(QJsonObject{
                {"name", nameText(file.name)},
                {"path", nameText(file.path)},
                {"size", qint64(file.stamp.size)},
                {"modifiedNs", QString::number(file.stamp.modifiedNs)},
                {"inode", QString::number(file.stamp.inode)},
            });
        messages.append(QJsonObject{
            {"subject", message.subject},
            {"state", QLatin1String(stateName(message.state))},
            {"files", files},
        });
    }
    // An explicit offset keeps the date every message shows, whatever the zone is later.
    const QDateTime date = record.date.toOffsetFromUtc(record.date.offsetFromUtc());
    const QJsonObject root{
        {"format", recordFormat},
        {"folder", nameText(record.folder)},
        {"to", record.recipient},
        {"from", record.sender},
        {"subjectPrefix", record.subjectPrefix},
        {"size", record.sizeText},
        {"manifest", record.manifest},
        {"outbox", record.outboxFolder.isEmpty() ? QString() : nameText(record.outboxFolder)},
        {"outboxSettings", record.outboxSettings},
        {"destination", record.destination},
        {"date", date.toString(Qt::ISODateWithMs)},
        {"messages", messages},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

SendRecord parseRecord(const QByteArray &text)
{
    if (text.size() > maxRecordBytes)
        damaged(QStringLiteral("it is larger than %1 bytes").arg(maxRecordBytes));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        damaged(QStringLiteral("%1 at byte %2").arg(error.errorString()).arg(error.offset));
    if (!document.isObject())
        damaged(QStringLiteral("it is not a record of a Send"));
    const QJsonObject root = document.object();
    const Fields fields(root, QStringLiteral("the record"));
    if (fields.number("format", std::numeric_limits<int>::max()) != recordFormat)
        damaged(QStringLiteral("it was written in another format"));

    SendRecord record;
    record.folder = fields.name("folder");
    record.recipient = fields.text("to");
    record.sender = fields.text("from");
    record.subjectPrefix = fields.text("subjectPrefix");
    record.sizeText = fields.text("size");
    record.manifest = fields.flag("manifest");
    if (!fields.text("outbox").isEmpty())
        record.outboxFolder = fields.name("outbox");
    record.outboxSettings = fields.text("outboxSettings");
    record.destination = fields.text("destination");
    record.date = QDateTime::fromString(fields.text("date"), Qt::ISODateWithMs);
    if (!record.date.isValid())
        damaged(QStringLiteral("the record has no valid date"));

    const QJsonArray messages = fields.array("messages");
    if (messages.isEmpty() || messages.size() > maxMessages)
        damaged(QStringLiteral("it holds %1 messages").arg(messages.size()));
    qsizetype fileCount = 0;
    bool pendingSeen = false;
    for (qsizetype m = 0; m < messages.size(); ++m) {
        const QString where = QStringLiteral("message %1").arg(m + 1);
        if (!messages[m].isObject())
            damaged(QStringLiteral("%1 is not a message").arg(where));
        const QJsonObject object = messages[m].toObject();
        const Fields message(object, where);
        RecordedMessage recorded;
        recorded.subject = message.text("subject");
        recorded.state = stateOf(message.text("state"), where);
        // A run sends its messages in order and stops at the first that fails.
        if (pendingSeen && recorded.state != MessageState::Pending)
            damaged(QStringLiteral("%1 follows a message not sent").arg(where));
        pendingSeen = recorded.state == MessageState::Pending;
        const QJsonArray files = message.array("files");
        fileCount += files.size();
        if (files.isEmpty() || fileCount > maxFiles)
            damaged(QStringLiteral("%1 holds %2 files").arg(where).arg(files.size()));
        std::int64_t bytes = 0;
        for (qsizetype f = 0; f < files.size(); ++f) {
            const QString fileWhere = QStringLiteral("file %1 of %2").arg(f + 1).arg(where);
            if (!files[f].isObject())
                damaged(QStringLiteral("%1 is not a file").arg(fileWhere));
            const QJsonObject fileObject = files[f].toObject();
            const Fields file(fileObject, fileWhere);
            RecordedFile recordedFile;
            recordedFile.name = file.name("name");
            recordedFile.path = file.name("path");
            recordedFile.stamp.size = file.number("size", std::numeric_limits<std::int32_t>::max());
            recordedFile.stamp.modifiedNs =
                file.number("modifiedNs", std::numeric_limits<std::int64_t>::max());
            recordedFile.stamp.inode = file.inode("inode");
            bytes += recordedFile.stamp.size;
            if (bytes > std::numeric_limits<std::int32_t>::max())
                damaged(QStringLiteral("%1 is larger than a message may be").arg(where));
            recorded.files.push_back(std::move(recordedFile));
        }
        record.messages.push_back(std::move(recorded));
    }
    return record;
}
