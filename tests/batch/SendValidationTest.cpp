#include "batch/SendValidation.h"
#include "batch/BatchSender.h"
#include "batch/PreparedSend.h"

#include "mailbridge/compose/ComposedMessageRules.h"
#include "support/FakeFileSystem.h"
#include "support/FakeOutbox.h"
#include "support/TestTools.h"

namespace {

// The checks every outbox makes, as the outbox passes them on.
const MessageRules &rules()
{
    return composedMessageRules();
}

SendRequest request(const std::vector<FileLine> &entries, const QString &to = "to@example.org",
                    const QString &from = "from@example.org", ListState state = ListState::Files)
{
    return SendRequest{"/f", entries, "750", to, QString(), from, state};
}

TEST(SendValidation, ChecksRunInOrderAndTheFirstFailureWins)
{
    const std::vector<FileLine> ok = {{"a.txt", true}};
    const std::pair<SendRequest, std::optional<QString>> cases[] = {
        {request({}, "", ""), "No files selected!"},
        {request(ok, "", ""), "You must enter who the messages are from."},
        {request(ok, ""), "You must say who the messages are to."},
        {request({{"No files", true}}, "t@x", "f@x", ListState::NoFiles), "Not a valid folder!"},
        {request({{"Not a Valid Path", true}}, "t@x", "f@x", ListState::NotAValidPath),
         "Not a valid folder!"},
        {request({{"a", false}, {"b", false}}), "No files selected!"},
        {request(ok), std::nullopt},
        // Real files that carry a sentinel's name are files like any other.
        {request({{"No files", false}, {"z", true}}), std::nullopt},
        {request({{"Not a Valid Path", true}}), std::nullopt},
    };
    for (const auto &[r, refusal] : cases)
        EXPECT_EQ(refusalFor(r, rules()), refusal)
            << r.entries.size() << " entries, from " << r.sender;
}

TEST(SendValidation, TextsThatMakeNoAddressOrNoHeaderAreRefusedByField)
{
    const std::vector<FileLine> ok = {{"a.txt", true}};
    const QString from = "You must enter who the messages are from.";
    const QString to = "You must say who the messages are to.";
    const struct
    {
        const char *name;
        SendRequest request;
        QString starts; // of the refusal
    } cases[] = {
        {"blank sender", request(ok, "to@example.org", " "), from},
        {"blank recipient", request(ok, " ", "from@example.org"), to},
        {"a line break in a quoted name", request(ok, "\"Bob\nSmith\" <bob@b.example>"),
         "\"\"Bob Smith\" <bob@b.example>\" is not an e-mail address."},
        // The order stays: the sender's refusal comes before the recipient's.
        {"both blank", request(ok, " ", " "), from},
        {"NUL in the subject",
         SendRequest{"/f", ok, "750", "to@example.org", QString::fromLatin1("Sub\0ject", 8),
                     "from@example.org"},
         "Subject (Prefix): "},
        {"an address too long for a header line", request(ok, QString(10000, 'a') + "@example.org"),
         "Send to: "},
        {"non-ASCII before the @",
         request(ok, "to@example.org", QString::fromUtf8("jörg@example.org")), "Send from: "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto refusal = refusalFor(c.request, rules());
        ASSERT_TRUE(refusal);
        EXPECT_TRUE(refusal->startsWith(c.starts)) << refusal->toStdString();
    }
    // A display name with non-ASCII letters is fine: it is encoded.
    EXPECT_EQ(refusalFor(request(ok, QString::fromUtf8("Jörg Müller <j@example.org>")), rules()),
              std::nullopt);
}

TEST(SendValidation, AFieldWithTextButNoAddressNamesWhatWasTypedAndItsField)
{
    const std::vector<FileLine> ok = {{"a.txt", true}};
    auto refusal = refusalOf(request(ok, "ann example"), rules());
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->text, "\"ann example\" is not an e-mail address.");
    EXPECT_EQ(refusal->field, SendField::Recipient);
    refusal = refusalOf(request(ok, "to@example.org", "  me at home "), rules());
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->text, "\"me at home\" is not an e-mail address.");
    EXPECT_EQ(refusal->field, SendField::Sender);
    EXPECT_EQ(refusalOf(request({{"a", false}}), rules())->field, SendField::Files);
}

TEST(SendValidation, ARefusalFoundWhilePlanningIsMarkedSoThatTheWindowSaysNothingWasFiled)
{
    FakeFileSystem files;
    files.addFile("/f/a", 10);
    EXPECT_EQ(failureOf<PlanningFailure>([&] {
                  prepareSend(request({{"a", true}, {"v3.bin", true}}), files, rules());
              }),
              "File not found: /f/v3.bin");
    EXPECT_EQ(nothingFiledText("File not found: /f/v3.bin"),
              "File not found: /f/v3.bin. Nothing was filed.");
    EXPECT_EQ(nothingFiledText("No files selected!"), "No files selected! Nothing was filed.");
    files.addFile("/f/big", 1500000000);
    files.addFile("/f/big2", 1500000000);
    SendRequest tooLarge = request({{"big", true}, {"big2", true}});
    tooLarge.sizeText = "9999999";
    try {
        prepareSend(tooLarge, files, rules());
        ADD_FAILURE() << "not refused";
    } catch (const FieldRefusal &refusal) {
        EXPECT_TRUE(refusal.description().endsWith("big2.")) << refusal.description().toStdString();
        EXPECT_EQ(refusal.field(), SendField::Files);
        EXPECT_TRUE(refusal.whilePlanning());
    }
    // An entry check is no planning refusal.
    try {
        prepareSend(request({{"a", false}}), files, rules());
        ADD_FAILURE() << "not refused";
    } catch (const FieldRefusal &refusal) {
        EXPECT_FALSE(refusal.whilePlanning());
    }
}

TEST(SendValidation, ARefusedSendCreatesNothing)
{
    FakeOutbox mail;
    FakeFileSystem files;
    const SendRequest r = request({{"a", false}});
    EXPECT_EQ(failureOf<Refusal>([&] { sendBatch(r, mail, files); }), "No files selected!");
    EXPECT_TRUE(mail.offered.empty());
}

} // namespace
