#pragma once

#include <QByteArray>
#include <QString>

// A folder name as IMAP sends it: modified UTF-7, '&' written as "&-".
QByteArray encodeMailboxName(const QString &name);
// The name for a person to read; text that is not valid modified UTF-7 stays as it is.
QString decodeMailboxName(const QByteArray &name);
// The text as an IMAP quoted string, for a command line.
QByteArray imapQuoted(const QByteArray &text);
