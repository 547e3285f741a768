#include "../mailbridge/ParsedMessage.h"
#include "support/ScriptRun.h"
#include "support/TestTools.h"

#include <QDir>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

// `ferrymail send` and `send --resume` as a script runs them, through this machine's mail
// program: a script that keeps each message it is given as a numbered file, and that fails,
// dies or waits at the message a test asks for.
class ResumeCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(QDir().mkpath(mail));
        ASSERT_TRUE(QDir().mkpath(temp.filePath("config/Ferrymail")));
        writeFile(script, "#!/bin/sh\n"
                          "d='" +
                              temp.path().toUtf8() +
                              "'\n"
                              "n=$(ls \"$d/mail\" | wc -l); n=$((n+1))\n"
                              "if [ -e \"$d/wait-at-$n\" ]; then rm \"$d/wait-at-$n\";\n"
                              "  touch \"$d/waiting\"; read go < \"$d/go\"; fi\n"
                              "if [ -e \"$d/fail-at-$n\" ]; then rm \"$d/fail-at-$n\";\n"
                              "  cat >/dev/null; echo 'try later' >&2; exit 75; fi\n"
                              // Whole message read, then gone without a word: perhaps sent.
                              "if [ -e \"$d/die-at-$n\" ]; then rm \"$d/die-at-$n\";\n"
                              "  cat > \"$d/mail/$(printf %03d $n).eml\"; kill -9 $$; fi\n"
                              "cat > \"$d/mail/$(printf %03d $n).eml\"\n");
        ASSERT_TRUE(QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner));
        useMailProgram(script);
        for (int i = 1; i <= 5; ++i)
            contents << randomBytes(3000, quint32(i));
        for (int i = 1; i <= 5; ++i)
            writeFile(folder + QStringLiteral("/f%1").arg(i), contents[i - 1]);
    }

    // Run by exec, so that its death by a signal is not a shell's exit status.
    void useMailProgram(const QString &program)
    {
        writeFile(temp.filePath("config/Ferrymail/Ferrymail.conf"),
                  "[MailClient]\nKind=sendmail\nSendmailCommand=exec " + program.toUtf8() + "\n");
    }

    void mark(const char *what, int message)
    {
        writeFile(temp.filePath(QStringLiteral("%1-at-%2").arg(what).arg(message)), "");
    }

    void start(QProcess &process, const QStringList &arguments)
    {
        process.setProcessEnvironment(environment);
        process.start(FERRYMAIL_BINARY, arguments);
        ASSERT_TRUE(process.waitForStarted());
    }

    Outcome run(const QStringList &arguments)
    {
        QProcess process;
        start(process, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // Each of the five files alone in a message: "S: f1" to "S: f5".
    QStringList sendAll(const QStringList &more = {})
    {
        return QStringList{"send",      "--to", "ann@example.org", "--from", "me@example.org",
                           "--subject", "S: ",  "--size",          "1"} +
               more + QStringList{"--all", folder};
    }

    QString sentLine(int messages) const
    {
        return QStringLiteral("Sent to ann@example.org: %1 %2\n")
            .arg(messages)
            .arg(messages == 1 ? "message" : "messages");
    }

    std::vector<ParsedMessage> sent()
    {
        std::vector<ParsedMessage> messages;
        for (const QString &name : QDir(mail).entryList(QDir::Files, QDir::Name))
            messages.push_back(parseMessageFile(mail + "/" + name));
        return messages;
    }

    // Lets a mail program that waits at a message go on; false when none waits.
    bool release()
    {
        const int fd = ::open(QFile::encodeName(temp.filePath("go")).constData(),
                              O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool written = ::write(fd, "go\n", 3) == 3;
        ::close(fd);
        return written;
    }

    QString record() const { return temp.filePath("state/Ferrymail/unfinished-send.json"); }

    // The five messages of the batch each went once, in order, as the batch planned them.
    void expectTheWholeBatchOnce()
    {
        const auto messages = sent();
        ASSERT_EQ(messages.size(), 5u);
        for (int i = 0; i < 5; ++i) {
            const ParsedMessage &message = messages[std::size_t(i)];
            EXPECT_EQ(message.subject, QStringLiteral("S: f%1").arg(i + 1));
            EXPECT_TRUE(message.bodyText.startsWith(QStringLiteral("Message %1 of 5\n").arg(i + 1)))
                << message.bodyText;
            ASSERT_EQ(message.attachments.size(), 1u);
            EXPECT_EQ(message.attachments[0].bytes, contents[i]);
        }
        // The batch's date, as the first message gave it, in every message.
        const QString dated = messages[0].bodyText.section('\n', 2, 2);
        EXPECT_TRUE(dated.contains(" sent ")) << dated;
        for (const ParsedMessage &message : messages)
            EXPECT_EQ(message.bodyText.section('\n', 2, 2), dated);
    }

    QTemporaryDir temp;
    const QString folder = temp.filePath("files");
    const QString mail = temp.filePath("mail");
    const QString script = temp.filePath("mail-program");
    QList<QByteArray> contents;
    QProcessEnvironment environment = scriptEnvironment(temp.path());
};

TEST_F(ResumeCommandTest, AFailedSendResumesWithExactlyTheRestThenThereIsNothingLeft)
{
    mark("fail", 3);
    const Outcome failed = run(sendAll());
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.out, "S: f1\nS: f2\n" + sentLine(2));
    EXPECT_TRUE(failed.err.contains("Not sent (3 files): f3, f4, f5")) << failed.err;
    EXPECT_TRUE(failed.err.endsWith("'ferrymail send --resume' sends the rest.\n")) << failed.err;
    EXPECT_TRUE(QFile::exists(record()));
    EXPECT_EQ(QFile(record()).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);

    const Outcome resumed = run({"send", "--resume"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_EQ(resumed.out, "S: f3\nS: f4\nS: f5\n" + sentLine(3));
    EXPECT_EQ(resumed.err, "");
    expectTheWholeBatchOnce();
    EXPECT_FALSE(QFile::exists(record()));

    const Outcome nothing = run({"send", "--resume"});
    EXPECT_EQ(nothing.exitCode, 2);
    EXPECT_EQ(nothing.out, "");
    EXPECT_TRUE(nothing.err.startsWith("Nothing to resume")) << nothing.err;
    EXPECT_EQ(sent().size(), 5u);

    // A Send that completes leaves nothing to resume either.
    QDir(mail).removeRecursively();
    QDir().mkpath(mail);
    EXPECT_EQ(run(sendAll()).exitCode, 0);
    EXPECT_FALSE(QFile::exists(record()));
    EXPECT_EQ(run({"send", "--resume"}).exitCode, 2);
}

TEST_F(ResumeCommandTest, AMessageThatMayHaveBeenSentIsNamedAndNeverSentAgain)
{
    mark("die", 3);
    const Outcome stopped = run(sendAll());
    EXPECT_EQ(stopped.exitCode, 1);
    EXPECT_EQ(stopped.out, "S: f1\nS: f2\nMay have been sent: S: f3\n" + sentLine(2));
    EXPECT_TRUE(stopped.err.contains("Not sent (2 files): f4, f5")) << stopped.err;

    const Outcome resumed = run({"send", "--resume"});
    EXPECT_EQ(resumed.exitCode, 1) << "the batch is not known to be whole";
    EXPECT_EQ(resumed.out, "S: f4\nS: f5\n" + sentLine(2));
    EXPECT_TRUE(resumed.err.startsWith("Not sent again, as they may have been sent: look in your "
                                       "Sent folder or ask the recipient"))
        << resumed.err;
    EXPECT_TRUE(resumed.err.endsWith("\nS: f3\n")) << resumed.err;
    // It did arrive here: each message once, none twice.
    expectTheWholeBatchOnce();
    EXPECT_FALSE(QFile::exists(record()));
}

TEST_F(ResumeCommandTest, ASendStoppedBySignalResumesWhereItStopped)
{
    // Larger than a pipe holds: the mail program has not had all of it when the signal comes.
    contents[2] = randomBytes(1024 * 1024, 3);
    writeFile(folder + "/f3", contents[2]);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        QDir(mail).removeRecursively();
        QDir().mkpath(mail);
        ASSERT_EQ(::mkfifo(QFile::encodeName(temp.filePath("go")).constData(), 0600), 0);
        mark("wait", 3);
        QProcess process;
        start(process, sendAll());
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return QFile::exists(temp.filePath("waiting")); }, 30000));
        // Stopped while message 3 is going to the mail program, which the stop ends.
        ::kill(pid_t(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_FALSE(release()) << "the mail program outlived the Send";
        EXPECT_EQ(process.exitCode(), 128 + signal);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_TRUE(err.endsWith("'ferrymail send --resume' sends the rest.\n")) << err;
        QFile::remove(temp.filePath("waiting"));
        QFile::remove(temp.filePath("go"));

        EXPECT_EQ(sent().size(), 2u);
        const Outcome resumed = run({"send", "--resume"});
        EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
        EXPECT_EQ(resumed.out, "S: f3\nS: f4\nS: f5\n" + sentLine(3));
        expectTheWholeBatchOnce();
    }
}

TEST_F(ResumeCommandTest, AnInterruptedSendIntoAMaildirFolderResumesIntoTheSameFolder)
{
    const QString outbox = temp.filePath("outbox");
    QList<QByteArray> large;
    ASSERT_TRUE(QDir().mkpath(temp.filePath("large")));
    for (int i = 0; i < 12; ++i) {
        large << randomBytes(2 * 1024 * 1024, quint32(100 + i));
        writeFile(temp.filePath(QStringLiteral("large/l%1").arg(i, 2, 10, QLatin1Char('0'))),
                  large.back());
    }
    QProcess process;
    start(process, {"send", "--to", "ann@example.org", "--from", "me@example.org", "--subject",
                    "L ", "--size", "1", "--outbox", outbox, "--all", temp.filePath("large")});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QDir(outbox + "/new").entryList(QDir::Files).size() >= 2; }, 30000));
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(30000));
    const auto before = QDir(outbox + "/new").entryList(QDir::Files).size();
    // The program may have finished before the signal came: then there is nothing to resume.
    const Outcome resumed = run({"send", "--resume"});
    EXPECT_EQ(resumed.exitCode, before == 12 ? 2 : 0) << resumed.err;

    // Each file once, in a message that still says where it stands in the whole batch.
    QMap<QString, QString> numbers;
    const QStringList names = QDir(outbox + "/new").entryList(QDir::Files);
    ASSERT_EQ(names.size(), 12);
    for (const QString &name : names) {
        const ParsedMessage message = parseMessageFile(outbox + "/new/" + name);
        ASSERT_EQ(message.attachments.size(), 1u);
        const int index = message.subject.mid(3).toInt();
        EXPECT_EQ(message.attachments[0].bytes, large.value(index)) << message.subject;
        numbers[message.subject] = message.bodyText.section('\n', 0, 0);
    }
    ASSERT_EQ(numbers.size(), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(numbers.value(QStringLiteral("L l%1").arg(i, 2, 10, QLatin1Char('0'))),
                  QStringLiteral("Message %1 of 12").arg(i + 1));
    EXPECT_TRUE(QDir(outbox + "/tmp").entryList(QDir::Files).isEmpty());
}

TEST_F(ResumeCommandTest, ResumeRefusesWhatItCannotDoSoundlyAndSendsNothing)
{
    // Options that --resume takes from the Send it resumes.
    for (const QStringList &arguments :
         {QStringList{"--resume", folder}, QStringList{"--resume", "--to", "x@example.org"},
          QStringList{"--size", "5", "--resume"}, QStringList{"--resume", "--all"},
          QStringList{"--resume", "--dry-run"}, QStringList{"--resume", "--outbox", mail}}) {
        const Outcome usage = run(QStringList{"send"} + arguments);
        EXPECT_EQ(usage.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(usage.err.startsWith("--resume ")) << usage.err;
    }
    const Outcome none = run({"send", "--resume"});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_EQ(none.err, "Nothing to resume: no unfinished Send is recorded in " + record() + ".\n");

    mark("fail", 2);
    ASSERT_EQ(run(sendAll()).exitCode, 1);
    const QByteArray kept = fileBytes(record());

    // The outbox it used is set differently now.
    QFile::copy(script, temp.filePath("other-program"));
    useMailProgram(temp.filePath("other-program"));
    const Outcome moved = run({"send", "--resume"});
    EXPECT_EQ(moved.exitCode, 2);
    EXPECT_TRUE(moved.err.startsWith("The outbox settings changed since the Send began"))
        << moved.err;
    useMailProgram(script);

    // A file still to go that changed: named, and the record kept for when it is put back.
    writeFile(folder + "/f4", contents[3] + "more");
    const Outcome changed = run({"send", "--resume"});
    EXPECT_EQ(changed.exitCode, 2);
    EXPECT_TRUE(changed.err.startsWith(folder + "/f4 has changed since the Send began"))
        << changed.err;
    EXPECT_EQ(sent().size(), 1u);
    EXPECT_EQ(fileBytes(record()), kept);
    writeFile(folder + "/f4", contents[3]);
    EXPECT_EQ(run({"send", "--resume"}).exitCode, 2) << "rewritten: another modification time";

    // A damaged record, and one far too large to be one: refused, left for the person.
    const std::pair<QByteArray, const char *> damaged[] = {
        {kept.left(kept.size() / 2), "is damaged: "},
        {QByteArray(17 * 1024 * 1024, '{'), "is damaged: it is larger than 16 MiB"},
    };
    for (const auto &[text, why] : damaged) {
        writeFile(record(), text);
        const Outcome refused = run({"send", "--resume"});
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_TRUE(
            refused.err.startsWith("The record of the unfinished Send, " + record() + ", " + why))
            << refused.err.left(300);
        EXPECT_TRUE(QFile::exists(record()));
        EXPECT_EQ(sent().size(), 1u);
    }
}

TEST_F(ResumeCommandTest, ConcurrentSendsKeepOneRecordWhole)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(temp.filePath("go")).constData(), 0600), 0);
    mark("wait", 1);
    QProcess first;
    start(first, sendAll());
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(temp.filePath("waiting")); }, 30000));
    const QByteArray firstRecord = fileBytes(record());
    EXPECT_TRUE(firstRecord.contains("S: f5"));

    // A resume while a Send runs could send what that Send is about to send.
    const Outcome resume = run({"send", "--resume"});
    EXPECT_EQ(resume.exitCode, 2);
    EXPECT_EQ(resume.err, "Another Send of yours is running; resume after it ended.\n");

    // Another Send goes ahead, into a folder of its own, and leaves the record alone.
    const Outcome second =
        run({"send", "--to", "bob@example.org", "--from", "me@example.org", "--subject",
             "B: ", "--outbox", temp.filePath("outbox"), folder, "f1"});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.err, "Another Send of yours is running and keeps the record for --resume: "
                          "this one cannot be resumed if it stops.\n");
    EXPECT_EQ(fileBytes(record()), firstRecord);

    // It may still be opening its end of the pipe.
    ASSERT_TRUE(QTest::qWaitFor([&] { return release(); }, 30000));
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    expectTheWholeBatchOnce();
    EXPECT_FALSE(QFile::exists(record()));
}

} // namespace
