#include "cli/ResumeState.h"
#include "batch/BatchSender.h"
#include "cli/RecordingProgress.h"
#include "cli/ResumeStateFile.h"
#include "common/CancelToken.h"
#include "common/FileNameCodec.h"
#include "mailbridge/compose/ComposedMessageRules.h"

#include "support/FakeFileSystem.h"
#include "support/FakeOutbox.h"
#include "support/MemorySettingsStore.h"
#include "support/TestTools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>

#include <map>

namespace {

// Five files of 1 kb with a limit of 1 kb: five messages of one file each.
class ResumeStateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        request = SendRequest{"/scans", {}, "1", "ann@example.org", "Scans: ", "me@example.org"};
        files.addFolder(request.folder);
        for (const QString &name : names) {
            request.entries.push_back({name, true});
            files.addFile(request.folder + "/" + name, 1024);
            stamps[request.folder + "/" + name] = FileStamp{1024, 1700000000123456789, 42};
        }
        send = prepareSend(request, files, composedMessageRules());
        record = recordOf(send, stampReader());
    }

    StampReader stampReader()
    {
        return [this](const QString &path) -> std::optional<FileStamp> {
            const auto found = stamps.find(path);
            if (found == stamps.end())
                return std::nullopt;
            return found->second;
        };
    }

    QStringList subjects(const std::vector<Draft> &drafts)
    {
        QStringList list;
        for (const Draft &draft : drafts)
            list << draft.subject;
        return list;
    }

    // A non-UTF-8 byte, a comma and a space in names: all must come back exactly.
    const QStringList names{"a", decodeFileName("b\xff"), "c,d", "e f", "g"};
    SendRequest request;
    FakeFileSystem files;
    std::map<QString, FileStamp> stamps;
    PreparedSend send;
    SendRecord record;
};

TEST_F(ResumeStateTest, TheRecordReadsBackAsWrittenWithTheBatchDateKept)
{
    record.outboxFolder = decodeFileName("/out\xfe");
    record.outboxSettings = "abc";
    record.destination = "the Maildir outbox ~/out";
    record.subjectPrefix = "Tab\there \"quoted\" ";
    record.date = QDateTime(QDate(2026, 3, 29), QTime(1, 30, 5, 250), QTimeZone(3600 * 5 + 1800));
    recordStop(record, 0, 1, 1);

    const SendRecord back = parseRecord(recordText(record));
    EXPECT_EQ(back.folder, record.folder);
    EXPECT_EQ(back.recipient, "ann@example.org");
    EXPECT_EQ(back.sender, "me@example.org");
    EXPECT_EQ(back.subjectPrefix, record.subjectPrefix);
    EXPECT_EQ(back.sizeText, "1");
    EXPECT_TRUE(back.manifest);
    EXPECT_EQ(back.outboxFolder, record.outboxFolder);
    EXPECT_EQ(back.outboxSettings, "abc");
    EXPECT_EQ(back.destination, record.destination);
    // The same instant and the same offset: the messages show the same date text.
    EXPECT_EQ(back.date, record.date);
    EXPECT_EQ(back.date.offsetFromUtc(), record.date.offsetFromUtc());
    ASSERT_EQ(back.messages.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(back.messages[i].subject, record.messages[i].subject);
        EXPECT_EQ(back.messages[i].state, record.messages[i].state);
        ASSERT_EQ(back.messages[i].files.size(), 1u);
        EXPECT_EQ(back.messages[i].files[0].name, names[qsizetype(i)]);
        EXPECT_EQ(back.messages[i].files[0].path, "/scans/" + names[qsizetype(i)]);
        EXPECT_EQ(back.messages[i].files[0].stamp, record.messages[i].files[0].stamp);
    }
    EXPECT_EQ(back.messages[0].state, MessageState::Went);
    EXPECT_EQ(back.messages[1].state, MessageState::Unknown);
    EXPECT_EQ(back.messages[2].state, MessageState::Pending);
}

TEST_F(ResumeStateTest, TheRestIsTheOriginalSplitFromTheFirstMessageNotSent)
{
    const std::vector<Draft> whole = draftsOf(send);
    for (const auto &[filed, perhaps, first] :
         {std::tuple{2, 0, 2u}, std::tuple{0, 0, 0u}, std::tuple{2, 1, 3u}, std::tuple{4, 0, 4u}}) {
        SCOPED_TRACE(filed * 10 + perhaps);
        SendRecord stopped = parseRecord(recordText(record));
        recordStop(stopped, 0, filed, perhaps);
        const ResumePlan rest = resumePlanOf(stopped, stampReader());
        EXPECT_EQ(rest.send.firstMessage, first);
        EXPECT_EQ(rest.unknownSubjects,
                  perhaps ? QStringList{whole[std::size_t(filed)].subject} : QStringList{});
        // Each message as the whole batch planned it: files, subject, "n of 5", date.
        const std::vector<Draft> again = draftsOf(rest.send);
        ASSERT_EQ(again.size(), 5u);
        for (std::size_t i = first; i < 5; ++i) {
            EXPECT_EQ(again[i].subject, whole[i].subject);
            EXPECT_EQ(again[i].attachmentPaths, whole[i].attachmentPaths);
            EXPECT_EQ(again[i].to, whole[i].to);
            EXPECT_EQ(again[i].from, whole[i].from);
            ASSERT_TRUE(again[i].manifest);
            EXPECT_EQ(again[i].manifest->message, int(i + 1));
            EXPECT_EQ(again[i].manifest->messageCount, 5);
            EXPECT_EQ(again[i].manifest->files.size(), 5);
            EXPECT_EQ(again[i].manifest->date, whole[i].manifest->date);
            EXPECT_EQ(again[i].manifest->subjectPrefix, "Scans: ");
        }

        // Only the rest goes, and the record follows each message by its place in the batch.
        FakeOutbox outbox;
        CancelToken cancel;
        std::vector<std::vector<MessageState>> saved;
        RecordingProgress progress(
            SendProgress::none(), stopped, first,
            [&saved](const SendRecord &r) {
                std::vector<MessageState> states;
                for (const RecordedMessage &m : r.messages)
                    states.push_back(m.state);
                saved.push_back(states);
            },
            cancel);
        sendBatch(rest.send, outbox, progress, cancel);
        EXPECT_EQ(subjects(outbox.filed()),
                  subjects({whole.begin() + std::ptrdiff_t(first), whole.end()}));
        ASSERT_EQ(saved.size(), 5 - first + 1);
        EXPECT_EQ(saved.front()[first], MessageState::Going);
        EXPECT_EQ(saved.back()[4], MessageState::Went);
        EXPECT_FALSE(hasPending(stopped));
    }
}

TEST_F(ResumeStateTest, AStopLeavesWhatWentWhatMayHaveGoneAndTheRest)
{
    // A resumed run from message 3 that filed one and lost the answer for the next.
    recordStop(record, 0, 2, 0);
    recordStop(record, 2, 1, 1);
    std::vector<MessageState> states;
    for (const RecordedMessage &m : record.messages)
        states.push_back(m.state);
    EXPECT_EQ(states, (std::vector{MessageState::Went, MessageState::Went, MessageState::Went,
                                   MessageState::Unknown, MessageState::Pending}));

    // A run killed while a message was going: that one may have gone, and is not sent again.
    record.messages[4].state = MessageState::Going;
    const QString refusal = failureOf<Refusal>([&] { resumePlanOf(record, stampReader()); });
    EXPECT_TRUE(refusal.startsWith("Nothing to resume")) << refusal;
    EXPECT_TRUE(refusal.contains("Scans: g")) << refusal;
    EXPECT_TRUE(refusal.contains("Scans: e f")) << refusal;
    EXPECT_EQ(record.messages[4].state, MessageState::Unknown);
}

TEST_F(ResumeStateTest, AFileStillToGoThatChangedIsARefusalNamingIt)
{
    recordStop(record, 0, 2, 0);
    const QString c = "/scans/c,d";
    // A changed file among those that went does not matter.
    stamps["/scans/a"].modifiedNs += 1;
    EXPECT_NO_THROW(resumePlanOf(record, stampReader()));
    const FileStamp kept = stamps[c];
    const std::pair<FileStamp, const char *> changes[] = {
        {{1025, kept.modifiedNs, kept.inode}, "its size was 1024 bytes, now 1025"},
        {{1024, kept.modifiedNs + 1, kept.inode}, "it was modified"},
        {{1024, kept.modifiedNs, kept.inode + 1}, "another file took its place"},
    };
    for (const auto &[stamp, why] : changes) {
        stamps[c] = stamp;
        const QString refusal = failureOf<Refusal>([&] { resumePlanOf(record, stampReader()); });
        EXPECT_TRUE(refusal.startsWith("/scans/c,d has changed since the Send began")) << refusal;
        EXPECT_TRUE(refusal.contains(why)) << refusal;
    }
    stamps.erase(c);
    EXPECT_TRUE(failureOf<Refusal>([&] {
                    resumePlanOf(record, stampReader());
                }).contains("it is gone or cannot be read"));

    // A real file: writing to it changes its stamp.
    QTemporaryDir dir;
    const QString path = writeFile(dir.filePath("x"), "one");
    const auto before = stampOnDisk(path);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->size, 3);
    writeFile(dir.filePath("x.new"), "two");
    ASSERT_TRUE(QFile::remove(path) && QFile::rename(dir.filePath("x.new"), path));
    EXPECT_NE(stampOnDisk(path), before);
    EXPECT_FALSE(stampOnDisk(dir.path())) << "a folder is no file to send";
}

TEST_F(ResumeStateTest, ADamagedRecordIsARefusalSayingWhatIsWrong)
{
    const QJsonObject good = QJsonDocument::fromJson(recordText(record)).object();
    const auto with = [&good](const std::function<void(QJsonObject &)> &change) {
        QJsonObject root = good;
        change(root);
        return QJsonDocument(root).toJson();
    };
    const auto messageWith = [&with](int m, const std::function<void(QJsonObject &)> &change) {
        return with([&](QJsonObject &root) {
            QJsonArray messages = root["messages"].toArray();
            QJsonObject message = messages[m].toObject();
            change(message);
            messages[m] = message;
            root["messages"] = messages;
        });
    };
    const auto fileWith = [&messageWith](const std::function<void(QJsonObject &)> &change) {
        return messageWith(0, [&](QJsonObject &message) {
            QJsonArray files = message["files"].toArray();
            QJsonObject file = files[0].toObject();
            change(file);
            files[0] = file;
            message["files"] = files;
        });
    };
    const std::pair<QByteArray, const char *> cases[] = {
        {"", "illegal value"},
        {"{\"format\": 1, ", "at byte"},
        {"[1, 2]", "not a record"},
        {QByteArray(100000, '['), "at byte"},
        {with([](QJsonObject &r) { r["format"] = 2; }), "another format"},
        {with([](QJsonObject &r) { r.remove("to"); }), "no valid to"},
        {with([](QJsonObject &r) { r["manifest"] = "yes"; }), "no valid manifest"},
        {with([](QJsonObject &r) { r["date"] = "yesterday"; }), "no valid date"},
        {with([](QJsonObject &r) { r["messages"] = QJsonArray(); }), "holds 0 messages"},
        {with([](QJsonObject &r) { r["messages"] = QJsonArray{1}; }), "is not a message"},
        {with([](QJsonObject &r) { r["folder"] = "/sc\u00e4ns"; }), "not percent-encoded"},
        {messageWith(1, [](QJsonObject &m) { m["state"] = "sent"; }), "unknown state"},
        {messageWith(0, [](QJsonObject &m) { m["files"] = QJsonArray(); }), "holds 0 files"},
        {messageWith(3, [](QJsonObject &m) { m["state"] = "went"; }), "follows a message not"},
        {fileWith([](QJsonObject &f) { f["size"] = -1; }), "no valid size"},
        {fileWith([](QJsonObject &f) { f["size"] = 2147483648.0; }), "no valid size"},
        {fileWith([](QJsonObject &f) { f["size"] = 0.5; }), "no valid size"},
        {fileWith([](QJsonObject &f) { f["inode"] = "x"; }), "no valid inode"},
        {fileWith([](QJsonObject &f) { f["path"] = ""; }), "empty path"},
        {QByteArray(maxRecordBytes + 1, ' '), "larger than"},
    };
    for (const auto &[text, why] : cases) {
        const QString refusal = failureOf<Refusal>([&] { parseRecord(text); });
        EXPECT_TRUE(refusal.contains(why)) << refusal << " for " << text.left(200).toStdString();
    }
    // Files that together exceed what one message may hold.
    SendRecord big = record;
    big.messages[0].files.push_back(big.messages[0].files[0]);
    big.messages[0].files[0].stamp.size = 2147483647;
    EXPECT_TRUE(failureOf<Refusal>([&] {
                    parseRecord(recordText(big));
                }).contains("larger than a message may be"));
}

TEST_F(ResumeStateTest, TheFileIsReplacedWholeLockedForOneSendAndCapped)
{
    QTemporaryDir dir;
    ResumeStateFile file(dir.filePath("state/Ferrymail"));
    EXPECT_FALSE(file.read());
    ASSERT_TRUE(file.lock());
    // A second Send, even of this process, does not get the lock until the first lets go.
    {
        ResumeStateFile second(dir.filePath("state/Ferrymail"));
        EXPECT_FALSE(second.lock());
    }
    file.write(record);
    recordStop(record, 0, 3, 0);
    file.write(record);
    const auto back = file.read();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->messages[2].state, MessageState::Went);
    EXPECT_EQ(back->messages[3].state, MessageState::Pending);
    EXPECT_EQ(QDir(dir.filePath("state/Ferrymail")).entryList(QDir::Files),
              QStringList({"send.lock", "unfinished-send.json"}));
    for (const QString &own : {file.path(), dir.filePath("state/Ferrymail")})
        EXPECT_EQ(QFile(own).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0) << own;

    // Read no further than the cap, however large the file.
    QFile grown(file.path());
    ASSERT_TRUE(grown.open(QIODevice::Append));
    ASSERT_TRUE(grown.resize(maxRecordBytes + 1));
    grown.close();
    const QString refusal = failureOf<Refusal>([&] { file.read(); });
    EXPECT_TRUE(refusal.contains("is damaged: it is larger than 16 MiB")) << refusal;
    EXPECT_TRUE(refusal.contains("remove it")) << refusal;

    file.remove();
    EXPECT_FALSE(file.read());
    EXPECT_NO_THROW(file.remove());
}

TEST_F(ResumeStateTest, ARecordThatCannotBeSavedStopsTheSend)
{
    FakeOutbox outbox;
    CancelToken cancel;
    int saves = 0;
    RecordingProgress progress(
        SendProgress::none(), record, 0,
        [&saves](const SendRecord &) {
            if (++saves == 3)
                throw Failure("Cannot write the record: No space left on device");
        },
        cancel);
    EXPECT_THROW(sendBatch(send, outbox, progress, cancel), SendStopped);
    // Saved: going 1, went 1, then the failing save after message 2; nothing more went.
    EXPECT_EQ(outbox.filed().size(), 2u);
    EXPECT_TRUE(cancel.cancelled());
    EXPECT_EQ(progress.saveFailure(), "Cannot write the record: No space left on device");
}

TEST_F(ResumeStateTest, TheOutboxSettingsDigestFollowsEverySettingThatChoosesTheOutbox)
{
    MemorySettingsStore settings;
    settings.write("MailClient", "Kind", "sendmail");
    settings.write("MailClient", "SendmailCommand", "/usr/bin/one");
    const QString first = outboxSettingsDigest(settings);
    EXPECT_EQ(outboxSettingsDigest(settings), first);
    settings.write("Settings", "Manifest", "false");
    EXPECT_EQ(outboxSettingsDigest(settings), first);
    settings.write("MailClient", "SendmailCommand", "/usr/bin/two");
    EXPECT_NE(outboxSettingsDigest(settings), first);
}

} // namespace
