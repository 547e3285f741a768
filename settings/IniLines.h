#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Lines of a settings file as they stand, for the settings that go to a shell exactly as the
// person wrote them: the file's own syntax would eat ";", ",", quotes and backslashes.

// Whether the key's value is taken as written (a line handed to /bin/sh: "...Command").
bool isVerbatimKey(const QString &key);

// The text after "key=" in section, trimmed; nothing when the file has no such line.
std::optional<QString> rawIniValue(const QByteArray &file, const QString &section,
                                   const QString &key);

// The text QSettings writes into the file for value, so that it reads back unchanged.
QString iniWrittenForm(const QString &value);

// What a verbatim key means: the parsed value when the raw line is exactly the form QSettings
// writes for it (the program wrote it), else the raw line itself (typed by hand).
QString verbatimValue(const QString &raw, const std::optional<QString> &parsed);
