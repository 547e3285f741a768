#pragma once

#include "mailbridge/BatchManifest.h"
#include "mailbridge/compose/Attachment.h"

#include <QByteArray>
#include <QString>

#include <vector>

// What a message of a batch says to its recipient, before its files: "Message 2 of 4" of
// which batch and when, this message's files with their sizes, where their checksums are, and
// every file of the batch with the number of its message (up to BatchManifest's limit). Names
// and the prefix show control characters as escapes, so that each takes one line.
QString manifestText(const BatchManifest &manifest, const std::vector<Attachment> &attachments);

// The name of the part after the files that lists their SHA-256: "checksums-2-of-4.sha256".
QString checksumFileName(const BatchManifest &manifest);

// One line of that list as sha256sum writes it, in UTF-8: the hex digits, two blanks and the
// name. A name with a backslash, line feed or carriage return has them escaped as sha256sum
// does (\\, \n, \r), and its line then starts with a backslash: every name stays on one line,
// and `sha256sum -c` reads it back as the name.
QByteArray checksumLine(const QByteArray &hexDigits, const QString &name);
