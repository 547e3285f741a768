#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// A draft's header as it goes out: who it is from and to, and its text without Bcc.
struct DraftHeader
{
    QString sender;         // the first address of From, else of Sender
    QStringList recipients; // every address of To, Cc and Bcc, each once
    QByteArray outgoing;    // the header without its Bcc field, blank line included
};

// How far the header of a message that starts with these bytes reaches: the offset just past
// the blank line that ends it; none when the bytes do not hold the whole header.
std::optional<qsizetype> headerLength(const QByteArray &start);

// Reads the header (through its blank line, CRLF). Throws Failure naming the draft by
// description when it has no sender, no recipient, or an address that cannot go into an SMTP
// command.
DraftHeader readDraftHeader(const QByteArray &header, const QString &description);
