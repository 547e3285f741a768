#pragma once

#include <QString>

// The text with its control characters written as escapes (\n, \t, \x1b, ...), so that a
// subject or file name always takes one line of a terminal or a line-reading script.
// Everything else, backslashes included, stays as it is.
QString oneLineText(const QString &text);
