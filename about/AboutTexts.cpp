#include "about/AboutTexts.h"

#include <QStringList>

namespace {
const QString crlf = QStringLiteral("\r\n");
const QString blankLine = crlf + crlf;
} // namespace

QString aboutText()
{
    return QStringLiteral("Ferrymail V1.0 by the Ferrymail team, 8 Dec 2026") + blankLine +
           QStringLiteral("A program for mailing many files as attachments, split over as "
                          "many messages as a size limit requires.") +
           blankLine + QStringLiteral("If you like this software, send your greetings, ") +
           QStringLiteral("postcards, money, beer, etc. to:") + blankLine +
           QStringLiteral("E-mail: ferrymail@example.org") + crlf +
           QStringLiteral("Web: https://ferrymail.example.org") + blankLine +
           QStringLiteral("The Ferrymail developers") + crlf + QStringLiteral("12 Harbour Lane") +
           crlf + QStringLiteral("Portwick PW1 4QX, United Kingdom") + blankLine +
           QStringLiteral("Free to use and share; no warranty.");
}

QString instructionsText(const QString &onSend)
{
    const QStringList paragraphs = {
        QStringLiteral("Instructions") + crlf + QStringLiteral("------------------"),
        QStringLiteral("First, fill in the Send to and Send from e-mail addresses and the subject "
                       "prefix. (The names of the files a message carries are appended to its "
                       "subject.)"),
        QStringLiteral("Next, type a folder name into Path, or pick one with the folder button. "
                       "As soon as you click somewhere else, the list fills with the files in "
                       "that folder and their sizes."),
        QStringLiteral("Tick each file you wish to send. A right-click on the list, the Menu key "
                       "or Shift+F10 ticks them all. The Message column shows which message "
                       "each ticked file goes in, and the line under the list the whole plan."),
        QStringLiteral("Set the Max Message Size in kilobytes. Files go into messages in list "
                       "order, and a message closes as soon as its files reach the size, "
                       "counting the file that reached it: a file larger than the size shares "
                       "its message with the smaller files before it, and goes alone only as "
                       "the first file of a message. The size counts only the files; MIME "
                       "encoding makes a message about a third larger, so leave room."),
        QStringLiteral("Finally, click Send. %1 The line under the list says how the last Send "
                       "ended.")
            .arg(onSend),
        QStringLiteral("Without a window, from a script or over ssh, \"ferrymail send\" does "
                       "the same; \"ferrymail send --help\" and \"man ferrymail\" tell how."),
    };
    return paragraphs.join(blankLine);
}
