#include "batch/SendValidation.h"
#include "batch/BatchSender.h"

#include "common/Failure.h"
#include "support/FakeFileSystem.h"
#include "support/FakeMailApplication.h"

#include <gtest/gtest.h>

namespace {

SendRequest valid()
{
    SendRequest r;
    r.folder = "/f";
    r.sizeText = "750";
    r.recipient = "to@example.org";
    r.sender = "from@example.org";
    r.entries = {{"a.txt", true}};
    return r;
}

std::optional<QString> refusalWith(void (*change)(SendRequest &))
{
    SendRequest r = valid();
    change(r);
    return refusalFor(r);
}

TEST(SendValidation, ChecksRunInOrderAndTheFirstFailureWins)
{
    EXPECT_EQ(refusalWith([](SendRequest &r) {
                  r.entries.clear();
                  r.sender.clear();
                  r.recipient.clear();
              }),
              "No files selected!");
    EXPECT_EQ(refusalWith([](SendRequest &r) {
                  r.sender.clear();
                  r.recipient.clear();
              }),
              "You must enter who the messages are from.");
    // Blanks are not empty.
    EXPECT_EQ(refusalWith([](SendRequest &r) {
                  r.sender = "  ";
                  r.recipient.clear();
              }),
              "You must say who the messages are to.");
    EXPECT_EQ(refusalWith([](SendRequest &r) {
                  r.entries = {{"No files", true}};
              }),
              "Not a valid folder!");
    EXPECT_EQ(refusalWith([](SendRequest &r) {
                  r.entries = {{"Not a Valid Path", false}, {"z", true}};
              }),
              "Not a valid folder!");
    EXPECT_EQ(refusalWith([](SendRequest &r) {
                  r.entries = {{"a", false}, {"b", false}};
              }),
              "No files selected!");
    EXPECT_EQ(refusalFor(valid()), std::nullopt);
}

TEST(SendValidation, SentinelTextsCompareExactly)
{
    EXPECT_EQ(refusalWith([](SendRequest &r) { r.entries = {{"no files", true}}; }), std::nullopt);
    EXPECT_EQ(refusalWith([](SendRequest &r) {
                  r.entries = {{"Not a valid path", true}};
              }),
              std::nullopt);
    // Only entry 0 is looked at.
    EXPECT_EQ(refusalWith([](SendRequest &r) {
                  r.entries = {{"a", true}, {"No files", true}};
              }),
              std::nullopt);
}

TEST(SendValidation, ARefusedSendCreatesNothing)
{
    FakeMailApplication mail;
    FakeFileSystem files;
    SendRequest r = valid();
    r.entries = {{"a", false}};
    try {
        sendBatch(r, mail, files);
        FAIL() << "not refused";
    } catch (const Refusal &refusal) {
        EXPECT_EQ(refusal.description(), "No files selected!");
    }
    EXPECT_TRUE(mail.calls.isEmpty());
}

} // namespace
