#pragma once

#include <QByteArray>
#include <QString>

// File names on Linux are bytes and need not be UTF-8. A name travels through the tool as a
// QString in which each byte that is not part of valid UTF-8 stands as a lone surrogate
// U+DC80 + (byte - 0x80): valid UTF-8 never yields those, so the exact bytes come back.
// Only what a person sees (the list, subjects, attachment names) replaces them by U+FFFD.
QString decodeFileName(const QByteArray &bytes);
QByteArray encodeFileName(const QString &name);
QString displayFileName(const QString &name);
