#pragma once

#include "RawDrafts.h"

#include "mailbridge/imap/ImapDraftsFolder.h"

#include <algorithm>

// On any server: the drafts a mail program saved are listed as they are, fetched byte for
// byte, flagged while sent where the server keeps keywords, and taken out after sending, the
// first into Sent. Returns how each was removed.
inline std::vector<DraftRemoval> roundTrip(const ImapEndpoint &endpoint, const QString &password,
                                           bool keepsKeywords)
{
    std::vector<DraftRemoval> removals;
    ImapSession session(endpoint, password);
    const std::vector<RawDraft> raw = rawDrafts(1536 * 1024);
    for (const RawDraft &draft : raw)
        appendRaw(session, draft);
    ImapDraftsFolder folder(endpoint, password);
    const std::vector<FolderDraft> listed = folder.list();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        SCOPED_TRACE(raw[i].subject.toStdString());
        const auto found = std::find_if(listed.begin(), listed.end(), [&](const FolderDraft &d) {
            return d.messageId == raw[i].messageId;
        });
        if (found == listed.end()) {
            ADD_FAILURE() << "not listed";
            continue;
        }
        EXPECT_EQ(found->subject, raw[i].subject);
        EXPECT_EQ(found->size, std::uint64_t(raw[i].bytes.size()));
        EXPECT_EQ(found->recipients, raw[i].recipients);
        EXPECT_EQ(found->attachmentNames, raw[i].attachmentNames);
        QByteArray bytes;
        folder.fetch(*found, [&](const char *data, std::size_t size) {
            bytes.append(data, qsizetype(size));
        });
        EXPECT_EQ(bytes, raw[i].bytes);
        EXPECT_EQ(folder.mark(*found, DraftsFolder::sendingKeyword), keepsKeywords);
        removals.push_back(folder.remove(*found, i == 0));
    }
    for (const FolderDraft &left : folder.list())
        for (const RawDraft &draft : raw)
            EXPECT_NE(left.messageId, draft.messageId) << "still listed after its removal";
    return removals;
}
