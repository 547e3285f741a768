#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Header encodings made here rather than by GMime, which leaves alone any text that looks
// like an encoded word ("=?...") and would thereby let a reader show something else.

// True for text a reader might decode although it was meant as it is.
bool looksLikeEncodedWord(const QString &text);

// The text as RFC 2047 encoded words (UTF-8, Q encoding, safe inside a phrase), each short
// enough to start a header line; no character is split between two words. A reader joins
// adjacent words and drops the white space between them, so the text comes back exactly.
QList<QByteArray> encodedWords(const QString &text);

// The header value (as GMime keeps it raw: leading blank, trailing "\n") of words folded one
// to a line.
QByteArray foldedWords(const QList<QByteArray> &words);

// An RFC 2231 parameter in UTF-8: `name*=UTF-8''r%C3%A9sum%C3%A9.pdf`, or for a long value
// the pieces `name*0*=…;` `name*1*=…` on lines of their own ("\n\t" between them).
QByteArray extendedParameter(const QByteArray &name, const QString &value);
