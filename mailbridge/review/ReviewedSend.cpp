#include "mailbridge/review/ReviewedSend.h"

#include "common/ByteText.h"
#include "common/CancelToken.h"
#include "common/Failure.h"
#include "mailbridge/DeliveryWords.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/review/DraftHeader.h"
#include "mailbridge/review/MessageSubmission.h"

#include <algorithm>

namespace {

bool hasFlag(const FolderDraft &draft, const char *flag)
{
    return std::any_of(draft.flags.cbegin(), draft.flags.cend(), [flag](const QByteArray &f) {
        return f.compare(flag, Qt::CaseInsensitive) == 0;
    });
}

// The record's draft this one is: the same Message-ID, or, where an edit gave it a new one
// (mail programs save an edited draft as a new message), the same attachments in order.
const FiledDraft *recordOf(const FolderDraft &draft, const std::vector<FiledDraft> &filed)
{
    if (!draft.messageId.isEmpty())
        for (const FiledDraft &entry : filed)
            if (entry.messageId == draft.messageId)
                return &entry;
    if (!draft.attachmentNames.isEmpty())
        for (const FiledDraft &entry : filed)
            if (entry.attachmentNames == draft.attachmentNames)
                return &entry;
    return nullptr;
}

QString quotedList(const std::vector<FolderDraft> &drafts)
{
    QStringList subjects;
    for (const FolderDraft &draft : drafts)
        subjects << QStringLiteral("\"%1\"").arg(draft.subject);
    return subjects.join(QStringLiteral(", "));
}

// Obeys the run's cancel; the bytes it counts are the run's own progress.
class CancelOnlyMonitor : public TransferMonitor
{
public:
    explicit CancelOnlyMonitor(const CancelToken &cancel) : m_cancel(cancel) {}
    void attachmentStarted(const QString &) override {}
    void attachmentBytes(std::int64_t) override {}
    bool cancelRequested() const override { return m_cancel.cancelled(); }

private:
    const CancelToken &m_cancel;
};

// Ends the fetch of a draft's first bytes once its header is whole.
struct HeaderComplete
{
};

QByteArray headerOf(DraftsFolder &folder, const FolderDraft &draft)
{
    constexpr qsizetype maxHeader = 1 << 20;
    QByteArray start;
    std::optional<qsizetype> length;
    try {
        folder.fetch(draft, [&](const char *data, std::size_t n) {
            start.append(data, qsizetype(std::min<std::size_t>(n, maxHeader + 4)));
            if ((length = headerLength(start)) || start.size() > maxHeader)
                throw HeaderComplete();
        });
    } catch (const HeaderComplete &) {
    }
    if (!length)
        throw Failure(QStringLiteral("The draft \"%1\" has no header of at most 1 MiB ending in "
                                     "a blank line; it was not sent.")
                          .arg(draft.subject));
    return start.first(*length);
}

} // namespace

std::uint64_t ReviewPlan::totalBytes() const
{
    std::uint64_t total = 0;
    for (const FolderDraft &draft : drafts)
        total += draft.size;
    return total;
}

QStringList ReviewPlan::recipients() const
{
    QStringList all;
    for (const FolderDraft &draft : drafts)
        for (const QString &address : draft.recipients)
            if (!all.contains(address, Qt::CaseInsensitive))
                all << address;
    return all;
}

QString ReviewPlan::preview() const
{
    QStringList lines;
    if (drafts.empty())
        lines << QStringLiteral("No drafts of Ferrymail's Sends are waiting to be sent.");
    else
        lines << QStringLiteral("%1 to %2, %3 in all.")
                     .arg(countOf(int(drafts.size()), QStringLiteral("draft")),
                          recipientsText(recipients()), byteText(std::int64_t(totalBytes())));
    if (!perhapsSent.empty())
        lines << QStringLiteral("Left alone: %1, which an earlier run may have sent (it went "
                                "whole to the server, whose answer was lost). Look in Sent or "
                                "ask the recipient; to send it again, send it from your mail "
                                "program.")
                     .arg(quotedList(perhapsSent));
    if (alreadySent > 0)
        lines << QStringLiteral("Left alone: %1 sent before and still in the folder, which "
                                "could not take %2 out; delete %2 there.")
                     .arg(countOf(alreadySent, QStringLiteral("draft")),
                          QLatin1String(alreadySent == 1 ? "it" : "them"));
    if (otherDrafts > 0)
        lines << QStringLiteral("%1 in the folder %2 not from Ferrymail and %3 left as %4.")
                     .arg(countOf(otherDrafts, QStringLiteral("other draft")),
                          QLatin1String(otherDrafts == 1 ? "is" : "are"),
                          QLatin1String(otherDrafts == 1 ? "is" : "are"),
                          QLatin1String(otherDrafts == 1 ? "it is" : "they are"));
    return lines.join(QLatin1Char('\n'));
}

ReviewPlan planReviewedSend(DraftsFolder &folder, const std::vector<FiledDraft> &filed)
{
    ReviewPlan plan;
    for (const FolderDraft &draft : folder.list()) {
        // Checked first: the record forgot such drafts when their sending began.
        if (hasFlag(draft, DraftsFolder::sentKeyword)) {
            ++plan.alreadySent;
            continue;
        }
        if (hasFlag(draft, DraftsFolder::sendingKeyword)) {
            plan.perhapsSent.push_back(draft);
            continue;
        }
        if (const FiledDraft *entry = recordOf(draft, filed)) {
            plan.drafts.push_back(draft);
            plan.filed.push_back(*entry);
        } else {
            ++plan.otherDrafts;
        }
    }
    return plan;
}

QString ReviewedSendOutcome::summary() const
{
    if (complete())
        return sent.isEmpty() ? QStringLiteral("No drafts were sent.")
                              : QStringLiteral("Sent to %1: %2")
                                    .arg(to, countOf(int(sent.size()), QStringLiteral("message")));
    QStringList parts;
    parts << QStringLiteral("Sent %1 of %2 drafts.")
                 .arg(sent.size())
                 .arg(sent.size() + notSent.size() + perhapsSent.size());
    if (!perhapsSent.isEmpty())
        parts << QStringLiteral("May have been sent: %1. Look in Sent or ask the recipient "
                                "before sending it again.")
                     .arg(perhapsSent.join(QStringLiteral(", ")));
    if (!notSent.isEmpty())
        parts << QStringLiteral("Not sent, still in Drafts: %1.")
                     .arg(notSent.join(QStringLiteral(", ")));
    return parts.join(QLatin1Char(' '));
}

ReviewedSendOutcome sendReviewedDrafts(const ReviewPlan &plan, DraftsFolder &folder,
                                       MessageSubmission &submission, FiledDrafts &filed,
                                       const QString &account, bool keepCopies,
                                       ReviewedSendProgress &progress, const CancelToken &cancel)
{
    ReviewedSendOutcome outcome;
    QStringList reached; // whom the drafts that went were sent to
    outcome.through = submission.destination();
    const auto leaveTheRest = [&](std::size_t from) {
        for (std::size_t i = from; i < plan.drafts.size(); ++i)
            outcome.notSent << plan.drafts[i].subject;
    };
    try {
        if (const auto limit = submission.messageSizeLimit())
            for (const FolderDraft &draft : plan.drafts)
                if (draft.size > *limit)
                    throw Failure(QStringLiteral("The draft \"%1\" is %2 bytes, more than the %3 "
                                                 "bytes %4 takes. Nothing was sent.")
                                      .arg(draft.subject)
                                      .arg(draft.size)
                                      .arg(*limit)
                                      .arg(submission.destination()));
    } catch (const SendCancelled &) {
        outcome.cancelled = true;
        leaveTheRest(0);
        return outcome;
    } catch (const Failure &failure) {
        outcome.failure = failure.description();
        leaveTheRest(0);
        return outcome;
    }
    CancelOnlyMonitor monitor(cancel);
    const int count = int(plan.drafts.size());
    for (int i = 0; i < count; ++i) {
        const FolderDraft &draft = plan.drafts[std::size_t(i)];
        const FiledDraft &entry = plan.filed[std::size_t(i)];
        if (cancel.cancelled()) {
            outcome.cancelled = true;
            leaveTheRest(std::size_t(i));
            break;
        }
        progress.draftStarted(i, count, draft.subject, draft.size);
        bool marked = false;
        bool forgotten = false;
        DraftHeader out;
        // Undone only where the server surely did not take the draft.
        const auto undo = [&] {
            try {
                if (marked)
                    folder.unmark(draft, DraftsFolder::sendingKeyword);
                if (forgotten)
                    filed.add(account, entry);
            } catch (const Failure &failure) {
                outcome.warnings << QStringLiteral("\"%1\" was not sent, and a later run may "
                                                   "not find it again: %2")
                                        .arg(draft.subject, failure.description());
            } catch (const SendCancelled &) {
            }
        };
        try {
            marked = folder.mark(draft, DraftsFolder::sendingKeyword);
            // Before its end can go: a run that dies then never lets a later one send it again.
            filed.remove(account, {entry.messageId});
            forgotten = true;
            const QByteArray header = headerOf(folder, draft);
            out = readDraftHeader(header, draft.subject);
            const std::uint64_t size =
                draft.size - std::uint64_t(header.size()) + std::uint64_t(out.outgoing.size());
            submission.submit(
                out.sender, out.recipients, size, draft.subject,
                [&](const MessageSubmission::Sink &sink) {
                    sink(out.outgoing.constData(), std::size_t(out.outgoing.size()));
                    qsizetype skip = header.size();
                    QByteArray seen;
                    folder.fetch(draft, [&](const char *data, std::size_t n) {
                        if (cancel.cancelled())
                            throw SendCancelled();
                        std::size_t from = 0;
                        if (skip > 0) {
                            from = std::min<std::size_t>(n, std::size_t(skip));
                            seen.append(data, qsizetype(from));
                            skip -= qsizetype(from);
                            if (skip == 0 && seen != header)
                                throw Failure(QStringLiteral("The draft \"%1\" changed while "
                                                             "it was sent.")
                                                  .arg(draft.subject));
                        }
                        if (from < n) {
                            sink(data + from, n - from);
                            progress.bytesDone(n - from);
                        }
                    });
                },
                monitor);
        } catch (const PerhapsFiled &perhaps) {
            // Still marked, and forgotten: never sent again by itself.
            outcome.perhapsSent << draft.subject;
            outcome.failure = perhaps.description();
            outcome.cancelled = perhaps.cancelled();
            leaveTheRest(std::size_t(i) + 1);
            break;
        } catch (const SendCancelled &) {
            undo();
            outcome.cancelled = true;
            leaveTheRest(std::size_t(i));
            break;
        } catch (const Failure &failure) {
            undo();
            outcome.failure = failure.description();
            leaveTheRest(std::size_t(i));
            break;
        }
        outcome.sent << draft.subject;
        for (const QString &address : out.recipients)
            if (!reached.contains(address, Qt::CaseInsensitive))
                reached << address;
        outcome.to = recipientsText(reached);
        progress.draftSent(i);
        try {
            if (folder.remove(draft, keepCopies) == DraftRemoval::MarkedSent)
                outcome.warnings << QStringLiteral(
                                        "\"%1\" was sent. This server can neither move a draft "
                                        "nor delete one alone, so it is flagged as sent and "
                                        "deleted in %2; your mail program removes it when it "
                                        "next compacts the folder.")
                                        .arg(draft.subject, folder.destination());
        } catch (const Failure &failure) {
            outcome.warnings << QStringLiteral("\"%1\" was sent, but could not be taken out of "
                                               "%2: %3 Later runs leave it alone; delete it "
                                               "there yourself.")
                                    .arg(draft.subject, folder.destination(),
                                         failure.description());
        } catch (const SendCancelled &) {
            outcome.warnings << QStringLiteral("\"%1\" was sent; the Send was stopped before it "
                                               "left %2. Later runs leave it alone; delete it "
                                               "there yourself.")
                                    .arg(draft.subject, folder.destination());
            outcome.cancelled = true;
            leaveTheRest(std::size_t(i) + 1);
            break;
        }
    }
    return outcome;
}
