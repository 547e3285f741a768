#include "about/AboutTexts.h"

#include <QStringList>

namespace {
const QString crlf = QStringLiteral("\r\n");
const QString blankLine = crlf + crlf;
} // namespace

QString aboutText()
{
    return QStringLiteral("Ferrymail V1.0 by the Ferrymail team, 8 Dec 2026") + blankLine +
           QStringLiteral("A program for mailing multiple attachments via Outlook E-mail.") +
           blankLine + QStringLiteral("If you like this software, send your greetings, ") +
           QStringLiteral("postcards, money, beer, etc. to:") + blankLine +
           QStringLiteral("E-mail: ferrymail@example.org") + crlf +
           QStringLiteral("Web: https://ferrymail.example.org") + blankLine +
           QStringLiteral("The Ferrymail developers") + crlf + QStringLiteral("12 Harbour Lane") +
           crlf + QStringLiteral("Portwick PW1 4QX, United Kingdom") + blankLine +
           QStringLiteral("Free to use and share; no warranty.");
}

QString instructionsText()
{
    const QStringList paragraphs = {
        QStringLiteral("Instructions") + crlf + QStringLiteral("------------------"),
        QStringLiteral(
            "First, fill in the To and From e-mail adresses and the message subject. (The "
            "filenames attached to the e-mail will be appended to the subject line.)"),
        QStringLiteral("Next, either enter a folder name, or browse to it by using the open folder "
                       "button. Once you have entered a valid folder name, as soon as you click "
                       "somwhere else the list box should fill with all the files in that folder."),
        QStringLiteral(
            "Select what size you want the messages to be. (Note that this is just the "
            "size of the attachments. The messages themselves will be larger due to MIME "
            "encoding, so give yourself plenty of leeway.)"),
        QStringLiteral("Check each of the files you wish to attach. You can quickly select all the "
                       "files by clicking your right mouse button."),
        QStringLiteral("Finally, click the send button. The messages will appear in your Outlook "
                       "Outbox read to go. You can review and change the messages before sending "
                       "them."),
        QStringLiteral("See README.TXT for more information."),
    };
    return paragraphs.join(blankLine);
}
