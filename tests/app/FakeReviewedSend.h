#pragma once

#include "common/Failure.h"
#include "common/SendCancelled.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/review/DraftsFolder.h"
#include "mailbridge/review/FiledDrafts.h"
#include "mailbridge/review/MessageSubmission.h"
#include "mailbridge/wiring/ReviewedSendAccount.h"

#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// Review-then-send's parts in memory. The worker calls them; the test reads what they saw
// once the run has ended (its end comes through locks), or the atomic counters at any time.

// Held shut until the test opens it, or until the run's cancel says so.
class Latch
{
public:
    void open()
    {
        const std::lock_guard hold(m_lock);
        m_open = true;
        m_opened.notify_all();
    }
    // True once opened, false once cancelled first.
    bool wait(const std::function<bool()> &cancelled)
    {
        std::unique_lock hold(m_lock);
        while (!m_open) {
            if (cancelled && cancelled())
                return false;
            m_opened.wait_for(hold, std::chrono::milliseconds(10));
        }
        return true;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_opened;
    bool m_open = false;
};

// A draft as Ferrymail filed it: a whole message, whose size is its bytes.
inline QByteArray draftMessage(const QString &subject, const QStringList &to,
                               const QString &messageId)
{
    return QStringLiteral("From: me@example.org\r\nTo: %1\r\nSubject: %2\r\nMessage-ID: <%3>\r\n"
                          "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nThe files.\r\n")
        .arg(to.join(QStringLiteral(", ")), subject, messageId)
        .toUtf8();
}

// What the fakes saw, kept by the test: the parts themselves are closed on a worker after
// the run.
struct ReviewRecord
{
    std::atomic<int> partsMade{0};
    std::atomic<int> listed{0};
    std::atomic<int> submitted{0};
    std::atomic<int> removed{0};
    std::mutex lock;
    QStringList sentTo;              // under lock: each message's recipients, joined by ","
    std::optional<QString> password; // under lock: what the last parts were made with
};

// A drafts folder, a server and a record, as the test sets them up before a run.
struct FakeReviewSetup
{
    // Adds a draft this machine filed (ours) or another one.
    void add(const QString &subject, const QStringList &to, bool ours = true)
    {
        const QString id = QStringLiteral("%1@ferrymail.test").arg(drafts.size() + 1);
        const QByteArray bytes = draftMessage(subject, to, id);
        FolderDraft draft;
        draft.uid = drafts.size() + 1;
        draft.size = std::uint64_t(bytes.size());
        draft.messageId = id;
        draft.subject = subject;
        draft.recipients = to;
        draft.flags = {QByteArrayLiteral("\\Draft")};
        drafts.push_back(draft);
        messages.push_back(bytes);
        if (ours)
            filed.push_back({id, subject, {}, QDateTime::currentDateTimeUtc()});
    }

    std::vector<FolderDraft> drafts;
    std::vector<QByteArray> messages; // by uid - 1
    std::vector<FiledDraft> filed;
    std::shared_ptr<Latch> listLatch;
    QString listFailure;
    std::shared_ptr<Latch> submitLatch;
    QString submitFailure;
    std::shared_ptr<ReviewRecord> record = std::make_shared<ReviewRecord>();
};

class FakeDraftsFolder final : public DraftsFolder
{
public:
    explicit FakeDraftsFolder(const FakeReviewSetup &setup) : m_setup(setup) {}

    std::vector<FolderDraft> list() override
    {
        ++m_setup.record->listed;
        if (m_setup.listLatch && !m_setup.listLatch->wait(m_cancelled))
            throw SendCancelled();
        if (!m_setup.listFailure.isEmpty())
            throw Failure(m_setup.listFailure);
        return m_setup.drafts;
    }
    void fetch(const FolderDraft &draft, const Sink &sink) override
    {
        const QByteArray &bytes = m_setup.messages.at(std::size_t(draft.uid - 1));
        sink(bytes.constData(), std::size_t(bytes.size()));
    }
    bool mark(const FolderDraft &, const QByteArray &) override { return true; }
    void unmark(const FolderDraft &, const QByteArray &) override {}
    DraftRemoval remove(const FolderDraft &, bool) override
    {
        ++m_setup.record->removed;
        return DraftRemoval::Moved;
    }
    QString destination() const override
    {
        return QStringLiteral("the Drafts folder of me@example.org");
    }
    QString sentDestination() const override
    {
        return QStringLiteral("the Sent folder of me@example.org");
    }
    void setCancelCheck(std::function<bool()> cancelled) override
    {
        m_cancelled = std::move(cancelled);
    }

private:
    const FakeReviewSetup m_setup;
    std::function<bool()> m_cancelled;
};

class FakeSubmission final : public MessageSubmission
{
public:
    explicit FakeSubmission(const FakeReviewSetup &setup) : m_setup(setup) {}

    void submit(const QString &, const QStringList &recipients, std::uint64_t,
                const QString &description, const std::function<void(const Sink &)> &write,
                TransferMonitor &) override
    {
        if (m_setup.submitLatch && !m_setup.submitLatch->wait(m_cancelled))
            throw SendCancelled();
        if (!m_setup.submitFailure.isEmpty())
            throw Failure(
                QStringLiteral("%1 was not sent: %2").arg(description, m_setup.submitFailure));
        write([](const char *, std::size_t) {});
        ++m_setup.record->submitted;
        const std::lock_guard hold(m_setup.record->lock);
        m_setup.record->sentTo << recipients.join(QLatin1Char(','));
    }
    std::optional<std::uint64_t> messageSizeLimit() override { return std::nullopt; }
    QString destination() const override
    {
        return QStringLiteral("the mail server smtp.example.org as me@example.org");
    }
    void setCancelCheck(std::function<bool()> cancelled) override
    {
        m_cancelled = std::move(cancelled);
    }

private:
    const FakeReviewSetup m_setup;
    std::function<bool()> m_cancelled;
};

class FakeFiledDrafts final : public FiledDrafts
{
public:
    explicit FakeFiledDrafts(std::vector<FiledDraft> drafts) : m_drafts(std::move(drafts)) {}
    std::vector<FiledDraft> of(const QString &) const override { return m_drafts; }
    void add(const QString &, const FiledDraft &draft) override { m_drafts.push_back(draft); }
    void remove(const QString &, const QStringList &messageIds) override
    {
        std::erase_if(m_drafts,
                      [&](const FiledDraft &d) { return messageIds.contains(d.messageId); });
    }

private:
    std::vector<FiledDraft> m_drafts;
};

// Fresh parts as the setup says, made on the run's worker.
inline ReviewedSendAccount fakeReviewedParts(const FakeReviewSetup &setup,
                                             const std::optional<QString> &password)
{
    ++setup.record->partsMade;
    {
        const std::lock_guard hold(setup.record->lock);
        setup.record->password = password;
    }
    ReviewedSendAccount parts;
    parts.folder = std::make_unique<FakeDraftsFolder>(setup);
    parts.submission = std::make_unique<FakeSubmission>(setup);
    parts.filed = std::make_unique<FakeFiledDrafts>(setup.filed);
    parts.account = QStringLiteral("me@example.org at imap.example.org");
    return parts;
}
