#pragma once

#include "common/Failure.h"
#include "common/SendCancelled.h"
#include "mailbridge/FilingOutcomes.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/review/DraftsFolder.h"
#include "mailbridge/review/FiledDrafts.h"
#include "mailbridge/review/MessageSubmission.h"

#include <map>
#include <optional>

// A drafts folder in memory that hands its drafts on in small pieces, as a server does.
class FakeDraftsFolder : public DraftsFolder
{
public:
    struct Stored
    {
        FolderDraft draft;
        QByteArray bytes;
    };
    std::map<std::uint64_t, Stored> drafts;
    std::vector<std::pair<std::uint64_t, bool>> removed; // uid, keepCopy
    DraftRemoval removal = DraftRemoval::Moved;
    bool keepsKeywords = true;
    std::optional<Failure> removeFailure;
    std::function<void()> onFetch;

    std::uint64_t add(QByteArray bytes, QString subject, QString messageId,
                      QStringList attachments = {}, QStringList recipients = {})
    {
        const std::uint64_t uid = next++;
        FolderDraft draft;
        draft.uid = uid;
        draft.size = std::uint64_t(bytes.size());
        draft.subject = std::move(subject);
        draft.messageId = std::move(messageId);
        draft.attachmentNames = std::move(attachments);
        draft.recipients = std::move(recipients);
        draft.flags = {"\\Draft"};
        drafts[uid] = Stored{draft, std::move(bytes)};
        return uid;
    }

    std::vector<FolderDraft> list() override
    {
        std::vector<FolderDraft> all;
        for (const auto &[uid, stored] : drafts)
            all.push_back(stored.draft);
        return all;
    }
    void fetch(const FolderDraft &draft, const Sink &sink) override
    {
        if (onFetch)
            onFetch();
        const auto found = drafts.find(draft.uid);
        if (found == drafts.end())
            throw Failure(QStringLiteral("gone"));
        const QByteArray &bytes = found->second.bytes;
        for (qsizetype at = 0; at < bytes.size(); at += 7)
            sink(bytes.constData() + at, std::size_t(std::min<qsizetype>(7, bytes.size() - at)));
    }
    bool mark(const FolderDraft &draft, const QByteArray &keyword) override
    {
        if (!keepsKeywords)
            return false;
        drafts.at(draft.uid).draft.flags << keyword;
        return true;
    }
    void unmark(const FolderDraft &draft, const QByteArray &keyword) override
    {
        drafts.at(draft.uid).draft.flags.removeAll(keyword);
    }
    DraftRemoval remove(const FolderDraft &draft, bool keepCopy) override
    {
        if (removeFailure)
            throw *removeFailure;
        removed.emplace_back(draft.uid, keepCopy);
        if (removal != DraftRemoval::MarkedSent)
            drafts.erase(draft.uid);
        return removal;
    }
    QString destination() const override { return QStringLiteral("the Drafts folder of me"); }
    QString sentDestination() const override { return QStringLiteral("the Sent folder of me"); }
    void setCancelCheck(std::function<bool()>) override {}

private:
    std::uint64_t next = 1;
};

// A submission server in memory; fail says how the next message ends instead of being taken.
class FakeSubmission : public MessageSubmission
{
public:
    struct Sent
    {
        QString sender;
        QStringList recipients;
        QByteArray bytes;
    };
    std::vector<Sent> sent;
    std::function<void(int index)> fail; // throws, for the message of this index
    std::optional<std::uint64_t> limit;
    int attempts = 0;

    void submit(const QString &sender, const QStringList &recipients, std::uint64_t size,
                const QString &, const std::function<void(const Sink &)> &write,
                TransferMonitor &monitor) override
    {
        const int index = attempts++;
        QByteArray bytes;
        write([&](const char *data, std::size_t n) {
            if (monitor.cancelRequested())
                throw SendCancelled();
            bytes.append(data, qsizetype(n));
        });
        if (std::uint64_t(bytes.size()) != size)
            throw Failure(QStringLiteral("size %1, announced %2").arg(bytes.size()).arg(size));
        if (fail)
            fail(index);
        sent.push_back({sender, recipients, bytes});
    }
    std::optional<std::uint64_t> messageSizeLimit() override { return limit; }
    QString destination() const override { return QStringLiteral("the mail server smtp.test"); }
    void setCancelCheck(std::function<bool()>) override {}
};

class MemoryFiledDrafts : public FiledDrafts
{
public:
    std::map<QString, std::vector<FiledDraft>> byAccount;
    std::vector<FiledDraft> of(const QString &account) const override
    {
        const auto found = byAccount.find(account);
        return found == byAccount.end() ? std::vector<FiledDraft>{} : found->second;
    }
    void add(const QString &account, const FiledDraft &draft) override
    {
        byAccount[account].push_back(draft);
    }
    void remove(const QString &account, const QStringList &messageIds) override
    {
        auto &drafts = byAccount[account];
        std::erase_if(drafts,
                      [&](const FiledDraft &d) { return messageIds.contains(d.messageId); });
    }
};
