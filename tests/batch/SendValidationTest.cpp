#include "batch/SendValidation.h"
#include "batch/BatchSender.h"

#include "support/FakeFileSystem.h"
#include "support/FakeMailApplication.h"
#include "support/TestTools.h"

namespace {

SendRequest request(const std::vector<FileLine> &entries, const QString &to = "to@example.org",
                    const QString &from = "from@example.org")
{
    return SendRequest{"/f", entries, "750", to, QString(), from};
}

TEST(SendValidation, ChecksRunInOrderAndTheFirstFailureWins)
{
    const std::vector<FileLine> ok = {{"a.txt", true}};
    const std::pair<SendRequest, std::optional<QString>> cases[] = {
        {request({}, "", ""), "No files selected!"},
        {request(ok, "", ""), "You must enter who the messages are from."},
        // Blanks are not empty.
        {request(ok, "", "  "), "You must say who the messages are to."},
        {request({{"No files", true}}), "Not a valid folder!"},
        {request({{"Not a Valid Path", false}, {"z", true}}), "Not a valid folder!"},
        {request({{"a", false}, {"b", false}}), "No files selected!"},
        {request(ok), std::nullopt},
        // The sentinel texts compare exactly, and only entry 0 is looked at.
        {request({{"no files", true}}), std::nullopt},
        {request({{"Not a valid path", true}}), std::nullopt},
        {request({{"a", true}, {"No files", true}}), std::nullopt},
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
