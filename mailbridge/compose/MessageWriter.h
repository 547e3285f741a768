#pragma once

#include "mailbridge/compose/MessageContent.h"

#include <QString>

// Composes the message with GMime and writes it as RFC 5322 text to fd, the file at path:
// From, To, Subject, Date, Message-Id, MIME-Version, and a multipart/mixed body with one
// base64 part per attachment (an empty text/plain body without attachments). Attachments
// are read from their files while writing; memory use does not grow with their sizes.
// Throws Failure naming the file at fault, attachment or path, and the reason.
void writeMessage(const MessageContent &content, int fd, const QString &path);
