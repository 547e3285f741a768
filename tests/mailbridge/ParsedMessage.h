#pragma once

#include "mailbridge/compose/GMimeHeaders.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// A message file as GMime's parser reads it back, for comparing with what was sent.
struct ParsedAttachment
{
    QString fileName;
    QString contentType; // "type/subtype"
    QString disposition;
    QString transferEncoding;
    QByteArray bytes; // decoded
};

struct ParsedMessage
{
    QByteArray raw;
    QString subject;
    QStringList to;   // one decoded entry per address or group
    QStringList from; // likewise
    QString messageId;
    bool hasDate = false;
    QString mimeVersion;
    QString bodyType; // content type of the top part
    // The decoded top part when it is not a multipart; else the text part that opens it
    // (what a message of a batch says about the batch), when there is one.
    QString bodyText;
    std::vector<ParsedAttachment> attachments; // the files, in order
    // The text of the part after the files that lists their checksums, when there is one.
    QByteArray checksums;
};

// Throws std::runtime_error when the file does not parse as a message.
ParsedMessage parseMessageFile(const QString &path);

// The lines of the header block of raw message text, folded lines still apart.
QList<QByteArray> headerLines(const QByteArray &raw);

// Each address or group of the list as its header shows it, decoded.
QStringList addressTexts(InternetAddressList *list);
