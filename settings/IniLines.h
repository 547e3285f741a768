#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Lines of a settings file as they stand, for the settings that go to a shell exactly as the
// person wrote them: QSettings' own syntax would eat ";", ",", quotes and backslashes. Such a
// value is the text after "=" to the end of its line, without spaces at either end.

// Whether the key's value is taken as written (a line handed to /bin/sh: "...Command").
bool isVerbatimKey(const QString &key);

// The text after "key=" in section; nothing when the file has no such line.
std::optional<QString> rawIniValue(const QByteArray &file, const QString &section,
                                   const QString &key);

struct IniLine
{
    QString section;
    QString key;
    QString value;
};

// Every verbatim key of the file with its value as written.
QList<IniLine> verbatimLines(const QByteArray &file);

// The file with the line of each of lines' keys holding its value as written; keys the file
// lacks are left out.
QByteArray withVerbatimLines(const QByteArray &file, const QList<IniLine> &lines);
