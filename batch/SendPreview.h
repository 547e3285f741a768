#pragma once

#include <QString>

#include <cstdint>
#include <vector>

class FileSystem;
struct SendRequest;

// What a Send would do now, for the Send button's tool tip: "12 files in 3 messages; about
// 41 MB as mail; into the Maildir outbox ~/Outbox", or why it would be refused. Worked out
// at every tick, so it looks each line's size up once per listing and keeps it.
class SendPreview
{
public:
    explicit SendPreview(const FileSystem &files) : m_files(files) {}

    // The list was filled anew: sizes looked up so far no longer apply.
    void forget() { m_sizes.clear(); }

    // The destination is the outbox's own description ("the Maildir outbox ~/Outbox").
    QString text(const SendRequest &request, const QString &destination);

private:
    std::int64_t sizeOf(const SendRequest &request, std::size_t line);

    const FileSystem &m_files;
    std::vector<std::int64_t> m_sizes; // per line; -1 not yet looked up
};

// The bytes a message of files of these total sizes takes as mail: each file's base64 lines
// plus an allowance for the headers of the message and of each part.
std::int64_t mailBytesEstimate(std::int64_t fileBytes, int files);
