#include "batch/SendPreview.h"

#include "batch/SendRequest.h"
#include "support/FakeFileSystem.h"

#include <gtest/gtest.h>

namespace {

TEST(SendPreview, SaysWhatASendWouldDoOrWhyItWouldNot)
{
    FakeFileSystem files;
    files.addFile("/f/a", 600 * 1024);
    files.addFile("/f/b", 300 * 1024);
    files.addFile("/f/c", 1000);
    const SendRequest ready{
        "/f", {{"a", true}, {"b", true}, {"c", true}}, "750", "to@x.example", "P", "me@x.example"};
    const struct
    {
        const char *name;
        SendRequest request;
        QString tip;
    } cases[] = {
        {"two messages", ready, "3 files in 2 messages; about 1.2 MB as mail; into the outbox ~/O"},
        {"one message",
         {"/f", {{"c", true}, {"a", false}}, "750", "t@x", "", "m@x"},
         "1 file in 1 message; about 2.0 kB as mail; into the outbox ~/O"},
        {"nothing ticked",
         {"/f", {{"a", false}}, "750", "t@x", "", "m@x"},
         "A Send now would be refused: \"No files selected!\"; into the outbox ~/O"},
        {"no sender",
         {"/f", {{"a", true}}, "750", "t@x", "", ""},
         "A Send now would be refused: \"You must enter who the messages are from.\"; "
         "into the outbox ~/O"},
        {"size text",
         {"/f", {{"a", true}}, "12kb", "t@x", "", "m@x"},
         "The maximum message size \"12kb\" is not a number of kilobytes.; into the outbox ~/O"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SendPreview(files).text(c.request, "the outbox ~/O"), c.tip);
    }
}

} // namespace
