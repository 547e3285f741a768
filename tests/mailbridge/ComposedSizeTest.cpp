#include "mailbridge/compose/MessageWriter.h"

#include "mailbridge/TransferMonitor.h"
#include "support/TestTools.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct SizeCase
{
    const char *name;
    QString subject;
    std::vector<std::pair<QString, qsizetype>> files; // name, size
    QString to = QStringLiteral("Jane Doe <jane@x.org>");
};

TEST(ComposedSize, EqualsTheSizeOfTheWrittenMessage)
{
    const QString longName = QString("long-name-").repeated(24) + ".bin";
    const std::vector<SizeCase> cases = {
        {"no files", "Nothing", {}},
        {"empty files", "Empty", {{"a", 0}, {"b", 0}, {"c", 0}}},
        {"around whole lines",
         "Lines",
         {{"56", 56},
          {"57", 57},
          {"58", 58},
          {"113", 57 * 2 - 1},
          {"114", 57 * 2},
          {"115", 57 * 2 + 1},
          {"block", 57 * 16384},
          {"block+1", 57 * 16384 + 1}}},
        {"long and non-ASCII names",
         "Names",
         {{longName, 10},
          {"résumé.pdf", 100},
          {"日本の報告.docx", 1000},
          {"=?utf-8?q?evil?=.txt", 3},
          {"line\nbreak", 1}}},
        {"long subjects",
         QString("Zürich 日本 ").repeated(40) + QString("x").repeated(1500),
         {{"one", 1}}},
        {"odd addresses",
         "=?utf-8?q?Pay_now?=",
         {{"f", 7}},
         "\"Bob =?utf-8?q?x?=\" <b@y.org>, José Müller <jm@x.org>, <<<>>>, a@bü.org"},
    };
    QTemporaryDir dir;
    for (const SizeCase &c : cases) {
        SCOPED_TRACE(c.name);
        MessageContent content;
        content.to = c.to;
        content.from = "Me <me@x.org>";
        content.subject = c.subject;
        for (const auto &[name, size] : c.files) {
            const QString path = writeFile(dir.filePath(name), randomBytes(size, quint32(size)));
            content.attachments.push_back(inspectAttachment(path));
        }
        const std::uint64_t predicted = composedSize(content);
        EXPECT_EQ(composedSize(content), predicted) << "measuring again gives the same";

        const QString out = dir.filePath("message");
        const int fd =
            ::open(QFile::encodeName(out).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        writeMessage(content, fd, out, TransferMonitor::none());
        ::close(fd);
        EXPECT_EQ(QFileInfo(out).size(), qint64(predicted));
    }
}

TEST(ComposedSize, FailsNamingAFileThatIsGone)
{
    QTemporaryDir dir;
    MessageContent content;
    const QString path = writeFile(dir.filePath("gone"), "x");
    content.attachments.push_back(inspectAttachment(path));
    QFile::remove(path);
    const QString failure = failureOf([&] { composedSize(content); });
    EXPECT_TRUE(failure.contains(path)) << failure;
}

} // namespace
