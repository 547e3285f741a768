#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// A message in the account's drafts folder, as listed before any is sent.
struct FolderDraft
{
    std::uint64_t uid = 0;
    std::uint64_t size = 0; // RFC822.SIZE: exactly the bytes fetch() hands on
    QString messageId;      // without its angle brackets; empty when it has none
    QString subject;        // decoded
    // The addresses of its To, Cc and Bcc, as the server read them: for the preview only; the
    // message goes to what its own header says when it is fetched.
    QStringList recipients;
    QStringList attachmentNames; // the file names of its parts, in order, decoded
    QList<QByteArray> flags;     // as the server gives them: "\Draft", "$FerrymailSending"
};

// What became of a sent draft in its folder.
enum class DraftRemoval
{
    Moved,          // a copy kept, by MOVE into the Sent folder
    CopiedExpunged, // UID COPY into Sent (when kept), then \Deleted and UID EXPUNGE of it alone
    MarkedSent,     // without UIDPLUS: flagged with the sent keyword and \Deleted, and left
};

// The drafts folder of an account, as review-then-send uses it. Every call may connect and
// log in; each throws Failure with a description a person can act on, or SendCancelled once
// the cancel check says so. Used from one thread at a time.
class DraftsFolder
{
public:
    // Kept on a draft while it is being sent, and left there when whether it went cannot be
    // known: a later run never sends such a draft by itself.
    static constexpr const char *sendingKeyword = "$FerrymailSending";
    // On a sent draft that could be neither moved nor expunged alone: later runs skip it.
    static constexpr const char *sentKeyword = "$FerrymailSent";

    virtual ~DraftsFolder() = default;

    // Every message in the folder not flagged \Deleted, in the folder's order. Remembers the
    // folder's UIDVALIDITY: the calls below refuse when it changed since.
    virtual std::vector<FolderDraft> list() = 0;
    // The draft's bytes as they are now, handed to sink in order, in pieces of at most 1 MiB:
    // exactly draft.size bytes, or Failure.
    using Sink = std::function<void(const char *, std::size_t)>;
    virtual void fetch(const FolderDraft &draft, const Sink &sink) = 0;
    // Adds the keyword to the draft; false when the server keeps no keywords there.
    virtual bool mark(const FolderDraft &draft, const QByteArray &keyword) = 0;
    virtual void unmark(const FolderDraft &draft, const QByteArray &keyword) = 0;
    // After the draft was sent: into the Sent folder flagged \Seen and sentKeyword (where the
    // server keeps keywords), no longer \Draft nor sendingKeyword, when keepCopy, else out of
    // the folder. A copy goes by MOVE where the server offers it, else by UID COPY; the draft
    // then goes by \Deleted and UID EXPUNGE of that UID only (UIDPLUS), else it is flagged
    // sentKeyword and \Deleted and left: the whole folder is never expunged.
    virtual DraftRemoval remove(const FolderDraft &draft, bool keepCopy) = 0;

    // As a person reads it after "in": "the Drafts folder of me@example.org".
    virtual QString destination() const = 0;
    // Where sent drafts go, after "in": "the Sent folder of me@example.org".
    virtual QString sentDestination() const = 0;
    virtual void setCancelCheck(std::function<bool()> cancelled) = 0;
};
