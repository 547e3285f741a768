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

    QStringList send(const QStringList &arguments)
    {
        return QStringList{"send",     "--to", "ann@example.org", "--from", "me@example.org",
                           "--outbox", outbox} +
               arguments;
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
    EXPECT_EQ(sent.out, "Scans: a.bin,B.bin\nScans: c.txt\n");
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
    const Outcome all = run(send({"--size", "0", "--all", folder}));
    EXPECT_EQ(all.out, "a.bin\nB.bin\nc.txt\nunticked\n");
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

TEST_F(SendCommandTest, AFailureExitsOneAndSaysWhatWasFiled)
{
    writeFile(folder + "/a", "x");
    const Outcome bad = run(send({"--size", "lots", folder, "a"}));
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "The maximum message size \"lots\" is not a number of kilobytes.\n\n"
                       "Nothing was put into the outbox.\n");
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
    EXPECT_EQ(real.out, "S-a,b\nS-c\n");
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
        start(process, send({"--size", "0", "--all", folder}));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return QDir(outbox + "/new").entryList(QDir::Files).size() >= 2; }, 30000));
        ::kill(pid_t(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(30000));

        EXPECT_EQ(process.exitCode(), 128 + signal);
        const auto messages = filed();
        EXPECT_LT(messages.size(), 60u);
        const QStringList printed =
            QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        EXPECT_EQ(printed.size(), qsizetype(messages.size()));
        for (std::size_t i = 0; i < messages.size(); ++i) {
            EXPECT_EQ(messages[i].subject, printed.value(qsizetype(i)));
            ASSERT_EQ(messages[i].attachments.size(), 1u);
            EXPECT_EQ(messages[i].attachments[0].bytes, content);
        }
        EXPECT_TRUE(QDir(outbox + "/tmp").entryList(QDir::Files).isEmpty());
        EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains("Not sent ("));
    }
}

} // namespace
