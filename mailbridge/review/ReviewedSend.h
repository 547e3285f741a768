#pragma once

#include "mailbridge/review/DraftsFolder.h"
#include "mailbridge/review/FiledDrafts.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class CancelToken;
class MessageSubmission;

// What review-then-send is about to do: the drafts of this machine's Sends still in the
// folder, as they are now, and what it leaves alone.
struct ReviewPlan
{
    std::vector<FolderDraft> drafts; // to send, in the folder's order
    std::vector<FiledDraft> filed;   // what recognised each of them in the record
    // Left alone: an earlier run sent them as far as the final dot and did not learn whether
    // the server took them (still flagged DraftsFolder::sendingKeyword).
    std::vector<FolderDraft> perhapsSent;
    // Left alone: sent, but still in the folder (flagged DraftsFolder::sentKeyword, where a
    // server could not take them out).
    int alreadySent = 0;
    int otherDrafts = 0; // not this machine's

    std::uint64_t totalBytes() const;
    // Every recipient of the drafts, each once, in order of first appearance.
    QStringList recipients() const;
    // "3 drafts to ann@example.org and bob@example.org, 61.2 MB in all", with what is left
    // alone after it.
    QString preview() const;
};

// Lists the folder and picks the drafts this machine filed (by Message-ID, or by the same
// attachments where an edit gave a draft a new Message-ID). Throws Failure, SendCancelled.
ReviewPlan planReviewedSend(DraftsFolder &folder, const std::vector<FiledDraft> &filed);

// What went, in words the window and the command line show.
struct ReviewedSendOutcome
{
    QStringList sent;        // subjects
    QStringList notSent;     // subjects
    QStringList perhapsSent; // subjects: "May have been sent"
    QStringList warnings;    // sent, with something after it that failed (the move to Sent)
    QString failure;         // why the run stopped, when it did
    bool cancelled = false;
    QString to;      // the recipients, for "Sent to …: 3 messages"
    QString through; // the submission server
    bool complete() const
    {
        return notSent.isEmpty() && perhapsSent.isEmpty() && failure.isEmpty() && !cancelled;
    }
    // One line: "Sent to ann@example.org: 3 messages", or what went and what did not.
    QString summary() const;
};

// What the run reports as it goes, on its own thread.
class ReviewedSendProgress
{
public:
    virtual ~ReviewedSendProgress() = default;
    virtual void draftStarted(int index, int count, const QString &subject, std::uint64_t size) = 0;
    virtual void bytesDone(std::uint64_t n) = 0;
    virtual void draftSent(int index) = 0;
};

// Sends each planned draft as it is now: fetched whole (BODY.PEEK[]), its Bcc header removed,
// to the addresses of its own To, Cc and Bcc, from its own From. After each is taken, it
// leaves the drafts folder (DraftsFolder::remove, into Sent when keepCopies) and is forgotten
// in filed. Never sends a draft twice: one whose end went out unanswered keeps the sending
// keyword and is reported "May have been sent". Stops at the first failure.
ReviewedSendOutcome sendReviewedDrafts(const ReviewPlan &plan, DraftsFolder &folder,
                                       MessageSubmission &submission, FiledDrafts &filed,
                                       const QString &account, bool keepCopies,
                                       ReviewedSendProgress &progress, const CancelToken &cancel);
