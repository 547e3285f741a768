#include "about/AboutTexts.h"

#include "support/TestTools.h"

#include <QStringList>

namespace {

TEST(AboutTexts, InstructionsDescribeThisProgram)
{
    const QString onSend = "Each message is handed to this computer's sendmail.";
    const QString text = instructionsText(onSend);
    EXPECT_TRUE(text.startsWith("Instructions\r\n------------------\r\n\r\nFirst, "));
    EXPECT_EQ(text.count(u'\n'), text.count("\r\n"));
    // What Send does where messages go now, as the main window tells it.
    EXPECT_TRUE(text.contains("Finally, click Send. " + onSend + " The line under the list"))
        << text;
    // How they are packed, and the command line.
    for (const char *told :
         {"a message closes as soon as its files reach the size, counting the file that reached "
          "it",
          "Shift+F10", "\"ferrymail send\""})
        EXPECT_TRUE(text.contains(QString::fromUtf8(told))) << told;
    // Nothing of another program, no file that does not exist, no misspelling.
    for (const char *wrong : {"Outlook", "README", "adresses", "somwhere", "read to go"})
        EXPECT_FALSE(text.contains(QString::fromUtf8(wrong), Qt::CaseInsensitive)) << wrong;
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

    EXPECT_EQ(paragraphs[1], QStringLiteral("A program for mailing many files as attachments, "
                                            "split over as many messages as a size limit "
                                            "requires."));
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
