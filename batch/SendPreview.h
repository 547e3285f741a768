#pragma once

#include <QString>

#include <cstdint>

class FileSystem;
struct SendRequest;

// What a Send would do now, for the Send button's tool tip: "12 files in 3 messages; about
// 41 MB as mail; into the Maildir outbox ~/Outbox", or why it would be refused. The
// destination is the outbox's own description ("the Maildir outbox ~/Outbox").
QString sendPreviewText(const SendRequest &request, const FileSystem &files,
                        const QString &destination);

// The bytes a message of files of these total sizes takes as mail: each file's base64 lines
// plus an allowance for the headers of the message and of each part.
std::int64_t mailBytesEstimate(std::int64_t fileBytes, int files);
