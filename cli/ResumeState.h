#pragma once

#include "batch/PreparedSend.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// What a file looked like when its Send was planned: a file whose stamp differs has changed.
struct FileStamp
{
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0; // since the epoch
    std::uint64_t inode = 0;
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

// The stamp of the file at path now; none when it cannot be read (gone, not permitted).
using StampReader = std::function<std::optional<FileStamp>(const QString &path)>;
std::optional<FileStamp> stampOnDisk(const QString &path);

enum class MessageState
{
    Pending, // not begun: the rest of a resumed Send
    Going,   // begun and not known to have ended: perhaps it went
    Went,
    Unknown, // whole to the outbox, answer lost: never sent again by a resume
};

struct RecordedFile
{
    QString name; // as the list holds it
    QString path;
    FileStamp stamp;
};

struct RecordedMessage
{
    QString subject;
    std::vector<RecordedFile> files;
    MessageState state = MessageState::Pending;
};

// One Send as `ferrymail send --resume` needs it: its options, its split, and how far it got.
struct SendRecord
{
    QString folder;
    QString recipient;
    QString sender;
    QString subjectPrefix;
    QString sizeText;
    bool manifest = true;
    QString outboxFolder;   // the --outbox Maildir, else empty: the configured outbox
    QString outboxSettings; // a digest of the configured outbox's settings, when it was used
    QString destination;    // the outbox's own words, for messages
    QDateTime date;         // the batch's date in every message
    std::vector<RecordedMessage> messages;
};

class SettingsStore;

// The configured outbox's settings as one digest: a resume must go where its Send went.
// Throws Failure for settings that name no valid outbox.
QString outboxSettingsDigest(const SettingsStore &settings);

// The record of a prepared Send before its first message goes: every message pending, each
// file stamped. Throws Failure naming a file that cannot be stamped.
SendRecord recordOf(const PreparedSend &send, const StampReader &stamp);

// How a run from message first on ended: filed messages went, the one perhaps filed after
// them is Unknown, the rest stay pending.
void recordStop(SendRecord &record, std::size_t first, qsizetype filed, qsizetype perhaps);

// What a resume sends: the whole batch, as planned and dated then, starting at its first
// pending message; and the messages that are not sent again because they may have gone.
struct ResumePlan
{
    PreparedSend send;
    QStringList unknownSubjects;
};

// Messages begun and never ended become Unknown. Throws Refusal when no message is pending
// (naming those that may have gone) or when a file still to go has changed or gone since.
ResumePlan resumePlanOf(SendRecord &record, const StampReader &stamp);

// Whether some message is still to go: the record is worth keeping.
bool hasPending(const SendRecord &record);

// The record as kept on disk, and read back. parseRecord throws Refusal saying what is wrong
// with text that is not a record this program wrote; it takes no more than maxRecordBytes.
QByteArray recordText(const SendRecord &record);
SendRecord parseRecord(const QByteArray &text);
inline constexpr qint64 maxRecordBytes = 16 * 1024 * 1024;
