#pragma once

#include "filelist/FileSystem.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class Outbox;
struct SendRequest;

// The plan as the window shows it before a Send.
struct PlanOverview
{
    // Under the list: "15 files in 4 messages, about 20.7 MB as mail", with the first message
    // that a single file takes over the limit, or why no plan can be made.
    QString line;
    // The Send button's tool tip: what a Send would do, in a few short lines.
    QString toolTip;
    // For each entry of the request, the message it goes in (1, 1, 2, …), 0 when unticked or
    // when there is no plan.
    std::vector<int> messageOfEntry;
};

// What a Send would do now, for the Send button's tool tip: "12 files in 3 messages", "about
// 41 MB as mail", "into the Maildir outbox ~/Outbox" on lines of their own, or why it would be
// refused. Worked out
// at every tick from the Send's own plan, so it looks each file's size up once per listing
// and keeps it.
class SendPreview
{
public:
    explicit SendPreview(const FileSystem &files) : m_sizes(files) {}

    // The list was filled anew: sizes looked up so far no longer apply.
    void forget() { m_sizes.forget(); }

    // The outbox gives the destination ("the Maildir outbox ~/Outbox"), the checks of what
    // was typed and the size as mail. It is never asked for its limit, which may need a server.
    QString text(const SendRequest &request, const Outbox &outbox);

    // The plan once, for the list, the line under it and the tool tip. `outboxLimit` is the
    // largest message in bytes the outbox takes, when already known.
    PlanOverview overview(const SendRequest &request, const Outbox &outbox,
                          std::optional<std::uint64_t> outboxLimit = std::nullopt);

private:
    // The file system, with each size asked for once until forget().
    class RememberedSizes final : public FileSystem
    {
    public:
        explicit RememberedSizes(const FileSystem &files) : m_files(files) {}
        void forget() { m_sizes.clear(); }
        bool FolderExists(const QString &path) const override;
        QStringList FileNames(const QString &folder) const override;
        qint64 FileSize(const QString &path) const override;

    private:
        const FileSystem &m_files;
        mutable QHash<QString, qint64> m_sizes;
    };

    RememberedSizes m_sizes;
};
