#include "about/AboutTexts.h"

#include "support/TestTools.h"

#include <QStringList>

namespace {

TEST(AboutTexts, InstructionsAreExactTypos)
{
    const QString expected = QStringLiteral(
        "Instructions\r\n"
        "------------------\r\n"
        "\r\n"
        "First, fill in the To and From e-mail adresses and the message subject. (The filenames "
        "attached to the e-mail will be appended to the subject line.)\r\n"
        "\r\n"
        "Next, either enter a folder name, or browse to it by using the open folder button. Once "
        "you have entered a valid folder name, as soon as you click somwhere else the list box "
        "should fill with all the files in that folder.\r\n"
        "\r\n"
        "Select what size you want the messages to be. (Note that this is just the size of the "
        "attachments. The messages themselves will be larger due to MIME encoding, so give "
        "yourself plenty of leeway.)\r\n"
        "\r\n"
        "Check each of the files you wish to attach. You can quickly select all the files by "
        "clicking your right mouse button.\r\n"
        "\r\n"
        "Finally, click the send button. The messages will appear in your Outlook Outbox read to "
        "go. You can review and change the messages before sending them.\r\n"
        "\r\n"
        "See README.TXT for more information.");
    EXPECT_EQ(instructionsText(), expected);
}

TEST(AboutTexts, AboutTextParagraphsInOrder)
{
    const QString crlf = "\r\n";
    const QString text = aboutText();
    // Every line break is CR LF: no bare CR, no bare LF.
    ASSERT_EQ(text.count(u'\r'), text.count(crlf));
    ASSERT_EQ(text.count(u'\n'), text.count(crlf));
    EXPECT_FALSE(text.startsWith(crlf));
    EXPECT_FALSE(text.endsWith(crlf));
    EXPECT_FALSE(text.contains(crlf + crlf + crlf));

    const QStringList paragraphs = text.split(crlf + crlf);
    ASSERT_EQ(paragraphs.size(), 6);

    const QString &credit = paragraphs[0];
    EXPECT_FALSE(credit.contains(crlf));
    EXPECT_TRUE(credit.startsWith(QStringLiteral("Ferrymail V1.0 by ")));
    EXPECT_TRUE(credit.contains(QStringLiteral("2026")));

    EXPECT_EQ(paragraphs[1],
              QStringLiteral("A program for mailing multiple attachments via Outlook E-mail."));
    // One line, one space between the two halves.
    EXPECT_EQ(paragraphs[2], QStringLiteral("If you like this software, send your greetings, "
                                            "postcards, money, beer, etc. to:"));

    const QStringList contact = paragraphs[3].split(crlf);
    ASSERT_EQ(contact.size(), 2);
    EXPECT_TRUE(contact[0].startsWith(QStringLiteral("E-mail: ")));
    EXPECT_TRUE(contact[0].contains(u'@'));
    EXPECT_TRUE(contact[1].startsWith(QStringLiteral("Web: https://")));

    const QStringList address = paragraphs[4].split(crlf);
    ASSERT_EQ(address.size(), 3);
    for (const QString &line : address)
        EXPECT_FALSE(line.trimmed().isEmpty());

    EXPECT_FALSE(paragraphs[5].contains(crlf));
    EXPECT_TRUE(paragraphs[5].contains(QStringLiteral("warranty")));
}

} // namespace
