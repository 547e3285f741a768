#pragma once

#include <QString>

// A file to attach, as checked when it was added.
struct Attachment
{
    QString path;
    QString fileName; // what the recipient sees
    QString mimeType; // "type/subtype", as attached
};

// The type a file of the guessed type is attached as: the same, except for the types a
// base64 part may not have, which go as application/octet-stream.
QString attachedType(const QString &guessedType);

// Checks that the path is a readable regular file (without blocking, also on a FIFO) and
// guesses its type from name and content. Throws Failure naming the path and the reason.
Attachment inspectAttachment(const QString &path);
