#include "mailbridge/review/DraftHeader.h"
#include "common/Failure.h"

#include <gtest/gtest.h>

TEST(DraftHeaderTest, RecipientsComeFromToCcAndBccAndBccLeavesTheHeader)
{
    const QByteArray header = "From: =?utf-8?q?J=C3=B6rg?= <jorg@example.org>\r\n"
                              "To: Ann <ann@example.org>, team: bob@example.org,\r\n"
                              "\tcarl@example.org;\r\n"
                              "BCC: hidden@example.org\r\n"
                              "Cc: ANN@example.org, dora@example.org\r\n"
                              "bcc: =?utf-8?q?S=C3=BC?= <secret@example.org>,\r\n"
                              "  more@example.org\r\n"
                              "X-Bcc-Note: stays\r\n"
                              "Subject: Bcc: in a subject stays\r\n"
                              "\r\n";
    ASSERT_EQ(headerLength(header + "body"), header.size());
    const DraftHeader read = readDraftHeader(header, QStringLiteral("s"));
    EXPECT_EQ(read.sender, "jorg@example.org");
    EXPECT_EQ(
        read.recipients,
        (QStringList{"ann@example.org", "bob@example.org", "carl@example.org", "dora@example.org",
                     "hidden@example.org", "secret@example.org", "more@example.org"}));
    EXPECT_EQ(read.outgoing, "From: =?utf-8?q?J=C3=B6rg?= <jorg@example.org>\r\n"
                             "To: Ann <ann@example.org>, team: bob@example.org,\r\n"
                             "\tcarl@example.org;\r\n"
                             "Cc: ANN@example.org, dora@example.org\r\n"
                             "X-Bcc-Note: stays\r\n"
                             "Subject: Bcc: in a subject stays\r\n"
                             "\r\n");
}

TEST(DraftHeaderTest, ADraftThatCannotGoIsRefusedByName)
{
    EXPECT_FALSE(headerLength("From: a@b\r\nTo: c@d\r\n"));
    EXPECT_EQ(headerLength("\r\nbody"), 2);
    const auto refusal = [](const QByteArray &header) {
        try {
            readDraftHeader(header, QStringLiteral("the draft's subject"));
        } catch (const Failure &failure) {
            return failure.description();
        }
        return QString();
    };
    EXPECT_TRUE(refusal("To: ann@example.org\r\n\r\n").contains("says nobody it is from"));
    EXPECT_TRUE(refusal("From: me@example.org\r\nTo: undisclosed-recipients:;\r\n\r\n")
                    .contains("is to nobody"));
    const QString spaced =
        refusal("From: me@example.org\r\nTo: \"x\" <ann smith@example.org>\r\n\r\n");
    EXPECT_TRUE(spaced.contains("the draft's subject")) << qPrintable(spaced);
    // A Sender stands in for a missing From.
    EXPECT_EQ(readDraftHeader("Sender: me@example.org\r\nTo: a@example.org\r\n\r\n", "s").sender,
              "me@example.org");
}
