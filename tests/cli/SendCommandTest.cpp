#include "../mailbridge/ParsedMessage.h"
#include "support/TestTools.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

// `ferrymail` as a script runs it: its own settings and data folders, no display.
class SendCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(folder));
        environment.insert("XDG_CONFIG_HOME", temp.filePath("config"));
        environment.insert("XDG_DATA_HOME", temp.filePath("data"));
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
    }

    void start(QProcess &process, const QStringList &arguments,
               const QString &program = FERRYMAIL_BINARY)
    {
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForStarted());
    }

    Outcome run(const QStringList &arguments, const QString &program = FERRYMAIL_BINARY)
    {
        QProcess process;
        start(process, arguments, program);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QStringList send(const QStringList &arguments)
    {
        return QStringList{"send",     "--to", "ann@example.org", "--from", "me@example.org",
                           "--outbox", outbox} +
               arguments;
    }

    // The last line of a Send's output.
    QString filedLine(int messages) const
    {
        return QStringLiteral("%1 %2 in the outbox folder %3\n")
            .arg(messages)
            .arg(messages == 1 ? "message" : "messages", outbox);
    }

    QString settingsFile() const { return temp.filePath("config/Ferrymail/Ferrymail.conf"); }
    void saveSettings(const QByteArray &ini)
    {
        ASSERT_TRUE(QDir().mkpath(temp.filePath("config/Ferrymail")));
        writeFile(settingsFile(), ini);
    }

    std::vector<ParsedMessage> filed()
    {
        std::vector<ParsedMessage> messages;
        for (const QString &name : QDir(outbox + "/new").entryList(QDir::Files, QDir::Name))
            messages.push_back(parseMessageFile(outbox + "/new/" + name));
        return messages;
    }

    QTemporaryDir temp;
    const QString folder = temp.filePath("files");
    const QString outbox = temp.filePath("outbox");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

TEST_F(SendCommandTest, SendsInListOrderAndPrintsEachSubject)
{
    const QByteArray a = randomBytes(600 * 1024, 1), b = randomBytes(100 * 1024, 2),
                     c = randomBytes(10, 3);
    writeFile(folder + "/c.txt", c);
    writeFile(folder + "/B.bin", b);
    writeFile(folder + "/a.bin", a);
    writeFile(folder + "/unticked", "x");

    // Names in any order go in the list's order: a.bin, B.bin, c.txt.
    const Outcome sent =
        run(send({"--subject", "Scans: ", "--size", "650", folder, "c.txt", "a.bin", "B.bin"}));
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    EXPECT_EQ(sent.out, "Scans: a.bin,B.bin\nScans: c.txt\n" + filedLine(2));
    EXPECT_EQ(sent.err, "");
    const auto messages = filed();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].subject, "Scans: a.bin,B.bin");
    ASSERT_EQ(messages[0].attachments.size(), 2u);
    EXPECT_EQ(messages[0].attachments[0].bytes, a);
    EXPECT_EQ(messages[0].attachments[1].bytes, b);
    EXPECT_EQ(messages[1].attachments.at(0).bytes, c);
    EXPECT_EQ(messages[0].to, QStringList{"ann@example.org"});

    // --all takes every file the window would list; the remembered entries stay untouched.
    const Outcome all = run(send({"--size", "1", "--all", folder}));
    EXPECT_EQ(all.out, "a.bin\nB.bin\nc.txt,unticked\n" + filedLine(3));
    EXPECT_FALSE(QFile::exists(temp.filePath("config/Ferrymail/Ferrymail.conf")));
}

TEST_F(SendCommandTest, RefusalsAndUsageErrorsExitTwoAndCreateNothing)
{
    writeFile(folder + "/a", "x");
    const struct
    {
        const char *name;
        QStringList arguments;
        QString err;
    } cases[] = {
        {"nothing named", send({folder}), "No files selected!\n"},
        {"no sender",
         {"send", "--to", "ann@example.org", "--outbox", outbox, folder, "a"},
         "You must enter who the messages are from.\n"},
        {"no recipient",
         {"send", "--from", "me@example.org", "--outbox", outbox, folder, "a"},
         "You must say who the messages are to.\n"},
        {"no such folder", send({temp.filePath("missing"), "a"}), "Not a valid folder!\n"},
        {"a name not in the folder", send({folder, "a", "b", "c"}),
         "Not a file of the folder " + folder + ": b, c\n"},
        {"unknown option", send({"--sizes", "3", folder, "a"}),
         "Unknown option --sizes.\nTry 'ferrymail send --help'.\n"},
        {"no folder", send({}),
         "Name the folder whose files to send.\nTry 'ferrymail send --help'.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome refused = run(c.arguments);
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_EQ(refused.err, c.err);
        EXPECT_EQ(refused.out, "");
        EXPECT_FALSE(QDir(outbox).exists());
    }
}

TEST_F(SendCommandTest, SizesNoMessageCanHaveAreRefusalsThatCreateNothing)
{
    writeFile(folder + "/a", "x");
    // Two sparse files of 1.5 GiB: together more than one message can carry.
    for (const char *name : {"/big1", "/big2"}) {
        QFile big(folder + name);
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(qint64(3) << 29));
    }
    const struct
    {
        const char *name;
        QStringList arguments;
        QString err;
    } cases[] = {
        {"a size that is no number", send({"--size", "lots", folder, "a"}),
         "The maximum message size \"lots\" is not a number of kilobytes.\n"},
        {"a message over 2 GiB", send({"--size", "4000000", folder, "big1", "big2"}),
         "The files of one message add up to more than 2,147,483,647 bytes with " + folder +
             "/big2.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString mode : {"--dry-run", "--to=ann@example.org"}) {
            QStringList arguments = c.arguments;
            arguments.insert(1, mode);
            const Outcome refused = run(arguments);
            EXPECT_EQ(refused.exitCode, 2);
            EXPECT_EQ(refused.out, "");
            EXPECT_EQ(refused.err, c.err);
            EXPECT_FALSE(QDir(outbox).exists());
        }
    }
}

TEST_F(SendCommandTest, AFailureExitsOne)
{
    writeFile(folder + "/a", "x");
    writeFile(temp.filePath("plain"), "not a folder");
    const Outcome failed = run({"send", "--to", "ann@example.org", "--from", "me@example.org",
                                "--outbox", temp.filePath("plain/outbox"), folder, "a"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_TRUE(failed.err.startsWith("Cannot create the outbox folder")) << failed.err;
}

TEST_F(SendCommandTest, HelpVersionAndUnknownWordsNeedNoDisplay)
{
    const struct
    {
        QStringList arguments;
        int exitCode;
        QString outStart;
        QString errStart;
    } cases[] = {
        {{"--help"}, 0, "Usage: ferrymail ", ""},
        {{"-h"}, 0, "Usage: ferrymail ", ""},
        {{"--version"}, 0, "ferrymail ", ""},
        {{"send", "--help"}, 0, "Usage: ferrymail send ", ""},
        {{"send", "-h"}, 0, "Usage: ferrymail send ", ""},
        {{"send", "--to", "a@b.org", "-h", folder}, 0, "Usage: ferrymail send ", ""},
        {{"bogus"}, 2, "", "Unknown command or option bogus.\n\nUsage: ferrymail "},
        {{"-x", "send"}, 2, "", "Unknown command or option -x.\n"},
        {{"--", "-h"}, 2, "", "Unknown command or option --.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Outcome outcome = run(c.arguments);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.err;
        EXPECT_EQ(outcome.out.left(c.outStart.size()), c.outStart);
        EXPECT_EQ(outcome.out.isEmpty(), c.outStart.isEmpty()) << outcome.out;
        EXPECT_EQ(outcome.err.left(c.errStart.size()), c.errStart);
        EXPECT_EQ(outcome.err.isEmpty(), c.errStart.isEmpty()) << outcome.err;
    }
    // With "--", a word that looks like an option is a name.
    writeFile(folder + "/-h", "x");
    const Outcome named = run(send({folder, "--", "-h"}));
    EXPECT_EQ(named.exitCode, 0) << named.err;
    EXPECT_EQ(named.out, "-h\n" + filedLine(1));
}

TEST_F(SendCommandTest, OutputThatCannotBeWrittenIsAFailure)
{
    writeFile(folder + "/a", QByteArray(1024, 'x'));
    writeFile(folder + "/b", QByteArray(1024, 'y'));
    const QStringList arguments = send({"--size", "1", folder, "a", "b"});
    // Standard output full, then closed: both messages are filed, the list of them is lost,
    // and the script is told.
    const struct
    {
        const char *redirect;
        const char *reason;
        int filed;
    } cases[] = {
        {">/dev/full", "No space left on device", 2},
        {">&-", "Bad file descriptor", 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.redirect);
        const Outcome outcome =
            run(QStringList{"-c", QStringLiteral("exec \"$0\" \"$@\" %1").arg(c.redirect),
                            FERRYMAIL_BINARY} +
                    arguments,
                "/bin/sh");
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.err, QStringLiteral("Cannot write to standard output: %1\n"
                                              "Every message was filed all the same.\n")
                                   .arg(c.reason));
        EXPECT_EQ(filed().size(), std::size_t(c.filed));
        for (const ParsedMessage &message : filed())
            EXPECT_EQ(message.attachments.size(), 1u) << "nothing else went into a message";
    }
    const Outcome help = run({"-c", "exec \"$0\" --help >/dev/full", FERRYMAIL_BINARY}, "/bin/sh");
    EXPECT_EQ(help.exitCode, 1);
    EXPECT_EQ(help.err, "Cannot write to standard output: No space left on device\n");
}

TEST_F(SendCommandTest, ControlCharactersInNamesStayOnTheirLine)
{
    writeFile(folder + "/line\nbreak", "x");
    writeFile(folder + "/tab\there", "y");
    const QStringList arguments = {"--subject", "S-", folder, "line\nbreak", "tab\there"};

    const Outcome text = run(send(QStringList{"--dry-run"} + arguments));
    EXPECT_TRUE(text.out.startsWith("Message 1 of 1: S-line\\nbreak,tab\\there\n"
                                    "  line\\nbreak  1 bytes\n  tab\\there  1 bytes\n"))
        << text.out;
    const Outcome json = run(send(QStringList{"--dry-run", "--json"} + arguments));
    const QJsonObject message =
        QJsonDocument::fromJson(json.out.toUtf8()).object()["messages"].toArray()[0].toObject();
    EXPECT_EQ(message["subject"].toString(), "S-line\nbreak,tab\there");
    EXPECT_EQ(message["files"].toArray()[0].toObject()["name"].toString(), "line\nbreak");

    const Outcome sent = run(send(arguments));
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    EXPECT_EQ(sent.out, "S-line\\nbreak,tab\\there\n" + filedLine(1));
    ASSERT_EQ(filed().size(), 1u);

    const Outcome missing = run(send({folder, "no\x1bpe"}));
    EXPECT_EQ(missing.err, "Not a file of the folder " + folder + ": no\\x1bpe\n");
}

TEST_F(SendCommandTest, DryRunPrintsTheSplitARealSendThenMakes)
{
    writeFile(folder + "/a", randomBytes(3000, 1));
    writeFile(folder + "/b", randomBytes(2000, 2));
    writeFile(folder + "/c", randomBytes(7000, 3));
    const QStringList arguments = {"--size", "4", "--subject", "S-", folder, "a", "b", "c"};

    const Outcome text = run(send(QStringList{"--dry-run"} + arguments));
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_TRUE(text.out.startsWith("Message 1 of 2: S-a,b\n  a  3000 bytes\n  b  2000 bytes\n"))
        << text.out;
    const Outcome json = run(send(QStringList{"--dry-run", "--json"} + arguments));
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_FALSE(QDir(outbox).exists());

    const Outcome real = run(send(arguments));
    EXPECT_EQ(real.out, "S-a,b\nS-c\n" + filedLine(2));
    // The sizes the dry run gave are the sizes of the messages the Send then wrote.
    const QJsonObject split = QJsonDocument::fromJson(json.out.toUtf8()).object();
    const QJsonArray planned = split["messages"].toArray();
    const QStringList written = QDir(outbox + "/new").entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(planned.size(), 2);
    ASSERT_EQ(written.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject message = planned[i].toObject();
        EXPECT_EQ(message["subject"].toString(), QStringList({"S-a,b", "S-c"})[i]);
        EXPECT_EQ(message["mailBytes"].toInteger(),
                  QFileInfo(outbox + "/new/" + written[i]).size());
        EXPECT_TRUE(text.out.contains(
            QStringLiteral("as mail %1 bytes").arg(message["mailBytes"].toInteger())));
    }
    EXPECT_EQ(split["bytes"].toInteger(), 12000);
}

TEST_F(SendCommandTest, SignalsStopTheSendLeavingWholeMessagesOnly)
{
    const QByteArray content = randomBytes(4 * 1024 * 1024, 7);
    for (int i = 0; i < 60; ++i)
        writeFile(folder + QStringLiteral("/f%1").arg(i, 2, 10, QLatin1Char('0')), content);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        QDir(outbox).removeRecursively();
        QProcess process;
        start(process, send({"--size", "1", "--all", folder}));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return QDir(outbox + "/new").entryList(QDir::Files).size() >= 2; }, 30000));
        ::kill(pid_t(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(30000));

        EXPECT_EQ(process.exitCode(), 128 + signal);
        const auto messages = filed();
        EXPECT_LT(messages.size(), 60u);
        const QStringList printed =
            QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(printed.size(), qsizetype(messages.size()) + 1);
        EXPECT_EQ(printed.last() + '\n', filedLine(int(messages.size())));
        for (std::size_t i = 0; i < messages.size(); ++i) {
            EXPECT_EQ(messages[i].subject, printed.value(qsizetype(i)));
            ASSERT_EQ(messages[i].attachments.size(), 1u);
            EXPECT_EQ(messages[i].attachments[0].bytes, content);
        }
        EXPECT_TRUE(QDir(outbox + "/tmp").entryList(QDir::Files).isEmpty());
        EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains("Not sent ("));
    }
}

TEST_F(SendCommandTest, ASizeBelowOneIsARefusalThatSaysWhereItCameFrom)
{
    writeFile(folder + "/a", "x");
    for (const char *size : {"0", "-5", "0.5", "0e3"}) {
        for (const QString mode : {"--dry-run", "--to=ann@example.org"}) {
            SCOPED_TRACE(std::string(size) + " " + mode.toStdString());
            const Outcome refused = run(send({mode, "--size", size, folder, "a"}));
            EXPECT_EQ(refused.exitCode, 2);
            EXPECT_EQ(refused.out, "");
            EXPECT_EQ(refused.err, QStringLiteral("--size %1 is below 1: the maximum message size "
                                                  "is a number of kilobytes, 1 or more.\n")
                                       .arg(size));
            EXPECT_FALSE(QDir(outbox).exists());
        }
    }
    // The window saved it: the text names the file, and --size overrides it.
    saveSettings("[Settings]\nMaxSize=0\n");
    const Outcome saved = run(send({folder, "a"}));
    EXPECT_EQ(saved.exitCode, 2);
    EXPECT_EQ(saved.err, "The maximum message size 0 saved in " + settingsFile() +
                             " is below 1 kilobyte. Give --size with 1 or more.\n");
    EXPECT_FALSE(QDir(outbox).exists());
    EXPECT_EQ(run(send({"--size", "1", folder, "a"})).exitCode, 0);
}

TEST_F(SendCommandTest, DryRunSaysWhichSizeLimitItUsedAndWhereItCameFrom)
{
    writeFile(folder + "/a", randomBytes(3000, 1));
    writeFile(folder + "/b", randomBytes(3000, 2));
    const auto lastLine = [](const Outcome &outcome) { return outcome.out.section('\n', -2, -2); };
    const auto sizeLimit = [](const Outcome &outcome) {
        return QJsonDocument::fromJson(outcome.out.toUtf8()).object()["sizeLimit"].toObject();
    };
    const Outcome byDefault = run(send({"--dry-run", "--all", folder}));
    EXPECT_EQ(lastLine(byDefault),
              "Size limit: 750 kb, the default: none is saved in " + settingsFile());
    EXPECT_TRUE(byDefault.out.contains("2 files in 1 message;")) << byDefault.out;

    saveSettings("[Settings]\nMaxSize=2\n");
    const Outcome fromSettings = run(send({"--dry-run", "--all", folder}));
    EXPECT_EQ(lastLine(fromSettings),
              "Size limit: 2 kb, from the saved settings " + settingsFile());
    EXPECT_TRUE(fromSettings.out.contains("2 files in 2 messages")) << fromSettings.out;
    const QJsonObject savedJson = sizeLimit(run(send({"--dry-run", "--json", "--all", folder})));
    EXPECT_EQ(savedJson["kilobytes"].toDouble(), 2.0);
    EXPECT_EQ(savedJson["from"].toString(), "settings");

    const Outcome fromOption = run(send({"--dry-run", "--size", "10.5", "--all", folder}));
    EXPECT_EQ(lastLine(fromOption), "Size limit: 10.5 kb, from --size");
    const QJsonObject optionJson =
        sizeLimit(run(send({"--dry-run", "--json", "--size=10.5", "--all", folder})));
    EXPECT_EQ(optionJson["kilobytes"].toDouble(), 10.5);
    EXPECT_EQ(optionJson["from"].toString(), "option");
    EXPECT_FALSE(QDir(outbox).exists());

    // The help and the manual page say so.
    const Outcome help = run({"send", "--help"});
    for (const char *said : {"1 or more", "the size limit used and where it came from",
                             "messages in the outbox folder", "Manifest=false", "sha256sum -c"})
        EXPECT_TRUE(help.out.contains(said)) << said;
}

TEST_F(SendCommandTest, EachMessageSaysWhereItStandsUnlessTheSettingsTurnItOff)
{
    writeFile(folder + "/a", randomBytes(3000, 1));
    writeFile(folder + "/b", randomBytes(3000, 2));
    const QStringList arguments = {"--size", "2", "--subject", "S-", "--all", folder};
    const Outcome dryRun = run(send(QStringList{"--dry-run", "--json"} + arguments));
    const Outcome sent = run(send(arguments));
    EXPECT_EQ(sent.out, "S-a\nS-b\n" + filedLine(2));
    const auto messages = filed();
    ASSERT_EQ(messages.size(), 2u);
    const QJsonArray planned =
        QJsonDocument::fromJson(dryRun.out.toUtf8()).object()["messages"].toArray();
    const QStringList written = QDir(outbox + "/new").entryList(QDir::Files, QDir::Name);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(messages[std::size_t(i)].bodyText.startsWith(
            QStringLiteral("Message %1 of 2\n\nThe batch \"S-\", sent ").arg(i + 1)));
        EXPECT_EQ(messages[std::size_t(i)].checksums.count('\n'), 1);
        EXPECT_EQ(planned[i].toObject()["mailBytes"].toInteger(),
                  QFileInfo(outbox + "/new/" + written[i]).size());
    }

    QDir(outbox).removeRecursively();
    saveSettings("[Settings]\nManifest=false\n");
    const Outcome plain = run(send(arguments));
    EXPECT_EQ(plain.out, sent.out) << "the same subjects";
    for (const ParsedMessage &message : filed()) {
        EXPECT_TRUE(message.bodyText.isEmpty());
        EXPECT_TRUE(message.checksums.isEmpty());
        EXPECT_EQ(message.attachments.size(), 1u);
    }
}

} // namespace
