#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

// A draft this machine filed into an account's drafts folder: what recognises it there
// later, even after the person edited it in their mail program (which may give it a new
// Message-ID and drop headers it does not know, but keeps its attachments).
struct FiledDraft
{
    QString messageId; // without angle brackets
    QString subject;
    QStringList attachmentNames; // in order
    QDateTime filed;
};

// The drafts this machine filed and has not yet sent, per account ("me@example.org at
// imap.example.org"). Throws Failure when it cannot be read or written.
class FiledDrafts
{
public:
    virtual ~FiledDrafts() = default;
    virtual std::vector<FiledDraft> of(const QString &account) const = 0;
    virtual void add(const QString &account, const FiledDraft &draft) = 0;
    // Forgets the drafts of these Message-IDs, once sent.
    virtual void remove(const QString &account, const QStringList &messageIds) = 0;
};
