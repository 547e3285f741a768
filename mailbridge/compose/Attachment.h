#pragma once

#include "mailbridge/compose/RegularFile.h"

#include <QString>

// A file to attach, as checked when it was added.
struct Attachment
{
    QString path;
    QString fileName; // what the recipient sees
    QString mimeType; // "type/subtype", as attached
    // The file as it was then: what is written must still be that file, unchanged.
    FileIdentity identity;
};

// The type a file of the guessed type is attached as: the same, except for the types a
// base64 part may not have, which go as application/octet-stream.
QString attachedType(const QString &guessedType);

// Checks that the path is a readable regular file (without blocking, also on a FIFO), notes
// its identity and guesses its type from name and content: the one open that sizes the file.
// Throws Failure naming the path and the reason.
Attachment inspectAttachment(const QString &path);
