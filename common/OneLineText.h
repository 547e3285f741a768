#pragma once

#include <QString>

// The text with its control characters written as escapes (\n, \t, \x1b, ...), so that a
// subject or file name always takes one line of a terminal or a line-reading script.
// Everything else, backslashes included, stays as it is.
QString oneLineText(const QString &text);

// The text with every control character but the line feed written as an escape: a message
// of this program's, which may hold what a server, a token endpoint, a command or DNS said,
// made safe for a terminal. Its own lines stay lines.
QString terminalText(const QString &text);
