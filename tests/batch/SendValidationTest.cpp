#include "batch/SendValidation.h"
#include "batch/BatchSender.h"

#include "support/FakeFileSystem.h"
#include "support/FakeMailApplication.h"
#include "support/TestTools.h"

namespace {

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
        // Blanks are not empty.
        {request(ok, "", "  "), "You must say who the messages are to."},
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
        EXPECT_EQ(refusalFor(r), refusal) << r.entries.size() << " entries, from " << r.sender;
}

TEST(SendValidation, ARefusedSendCreatesNothing)
{
    FakeMailApplication mail;
    FakeFileSystem files;
    const SendRequest r = request({{"a", false}});
    EXPECT_EQ(failureOf<Refusal>([&] { sendBatch(r, mail, files); }), "No files selected!");
    EXPECT_TRUE(mail.calls.isEmpty());
}

} // namespace
