#include "mailbridge/compose/HeaderChecks.h"
#include "mailbridge/TransferMonitor.h"

#include "OutboxFixture.h"

namespace {

TEST(HeaderChecks, HasAddressOnlyForTextWithARealMailbox)
{
    const std::vector<std::pair<QString, bool>> cases = {
        {"bob@b.example", true},
        {"Bob <bob@b.example>", true},
        {" ", false},
        {"", false},
        {";, ;", false},
        {"\"Bob\nSmith\" <bob@b.example>", false},
        {"nobody", false},
        {"<<<>>>", false},
        {"friends: a@b.example;", true},
        {"friends: ;", false},
        {"junk <<<>>>, bob@b.example", true},
        {QString("bob@b.example") + QChar(0) + "x", false},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(hasAddress(text), expected) << text.toStdString();
}

TEST(HeaderChecks, AddressTextProblemsQuoteTheTextAndSayWhy)
{
    const QString huge = QString("a").repeated(10'000) + "@x.example";
    struct Case
    {
        QString text;
        const char *reason; // nullptr: no problem
    };
    const std::vector<Case> cases = {
        {"Jane Doe <jane@x.org>; bob@y.org", nullptr},
        {"José Müller <jm@x.org>", nullptr},
        {"a@bü.example", nullptr}, // the domain goes as IDNA
        {QString("x@y.example, ").repeated(500) + "z@y.example", nullptr}, // folds
        {"\"Bob\x01\" <b@y.org>", nullptr},                                // encodable
        {huge, "too long"},
        {"jö@x.example", "ASCII"},
        {"Jö <jö@x.example>", "ASCII"},
        {QString("Sub") + QChar(0) + "ject <a@b.example>", "NUL"},
        {QString("a") + QChar(0xD800) + "@b.example", "invalid"},
    };
    for (const Case &c : cases) {
        const std::optional<QString> problem = addressTextProblem(c.text);
        if (!c.reason) {
            EXPECT_FALSE(problem) << c.text.left(60) << ": " << problem.value_or("");
            continue;
        }
        ASSERT_TRUE(problem) << c.text.left(60);
        EXPECT_TRUE(problem->contains(c.reason)) << *problem;
        EXPECT_TRUE(problem->contains(c.text.left(20).replace(QChar(0), QChar(0x2400))))
            << "quotes the text: " << *problem;
        EXPECT_LT(problem->size(), 400) << "a long text is shortened";
    }
}

TEST(HeaderChecks, OnlyUnencodableCharactersAreSubjectProblems)
{
    EXPECT_FALSE(headerTextProblem("Plain"));
    EXPECT_FALSE(headerTextProblem("Tab\tCR\rLF\nESC\x1b DEL\x7f"));
    EXPECT_FALSE(headerTextProblem(QString("x").repeated(5000)));
    EXPECT_FALSE(headerTextProblem("🚀 pair"));
    const auto nul = headerTextProblem(QString("Sub") + QChar(0) + "ject");
    ASSERT_TRUE(nul);
    EXPECT_TRUE(nul->contains("NUL") && nul->contains("Sub\u2400ject")) << *nul;
    EXPECT_TRUE(headerTextProblem(QString("lone ") + QChar(0xDC00)));
}

using HeaderLimitsTest = OutboxFixture;

TEST_F(HeaderLimitsTest, WrittenHeaderLinesAre7BitAndWithinTheLimit)
{
    Draft draft;
    draft.to = "José Müller <jm@x.org>, Zoë <z@y.org>, a@bü.example, "
               "\"Quoted Ünïcode\" <q@y.org>, friends ünd co: m@x.org;";
    draft.from = "Jürgen <j@x.org>";
    draft.subject = QString("Ä").repeated(700) + QString("w").repeated(2000);
    draft.attachmentPaths << writeFile(QString("é").repeated(120) + ".txt", "content");
    outbox.file(draft, TransferMonitor::none());
    const ParsedMessage message = firstSent();
    const qsizetype bodyStart = message.raw.indexOf("\nContent-Transfer-Encoding: base64\n\n");
    ASSERT_GT(bodyStart, 0);
    for (const QByteArray &line : message.raw.left(bodyStart).split('\n')) {
        EXPECT_LE(line.size(), 998);
        for (const char byte : line)
            ASSERT_EQ(byte & 0x80, 0) << "8-bit header line: " << line.toStdString();
    }
    EXPECT_EQ(message.to.value(0), "José Müller <jm@x.org>");
    EXPECT_EQ(message.from.value(0), "Jürgen <j@x.org>");
    EXPECT_EQ(message.attachments.at(0).fileName, QString("é").repeated(120) + ".txt");
}

TEST_F(HeaderLimitsTest, TextTheChecksRefuseIsNeverWrittenCutOrTooLong)
{
    const QString huge = QString("a").repeated(10'000) + "@x.example";
    const std::vector<std::pair<const char *, std::function<void(Draft &)>>> cases = {
        {"NUL in the subject",
         [](Draft &draft) { draft.subject = QString("Sub") + QChar(0) + "ject"; }},
        {"unfoldable address", [&](Draft &draft) { draft.to = huge; }},
        {"8-bit local part", [](Draft &draft) { draft.from = "jö@x.example"; }},
    };
    for (const auto &[name, set] : cases) {
        SCOPED_TRACE(name);
        Draft draft;
        draft.to = "a@b.example";
        set(draft);
        EXPECT_FALSE(failureOf([&] { outbox.file(draft, TransferMonitor::none()); }).isEmpty());
        EXPECT_EQ(filesIn("new") + filesIn("tmp"), QStringList());
    }
}

} // namespace
