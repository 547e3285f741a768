// Which folder drafts, and copies of sent mail, go into, from the server's LIST and NAMESPACE
// answers alone.
#include "mailbridge/imap/FolderChoice.h"

#include "support/TestTools.h"

namespace {

ListedMailbox folder(const QByteArray &name, QList<QByteArray> attributes = {})
{
    return ListedMailbox{std::move(attributes), "/", name};
}

TEST(FolderChoice, Rows)
{
    const ImapNamespace inbox{"INBOX.", "."};
    const struct
    {
        const char *name;
        FolderRole role;
        QString set;
        QList<ListedMailbox> folders;
        std::optional<ImapNamespace> personal;
        FolderChoice::Kind kind;
        QByteArray folder;
        bool needsNamespace;
    } rows[] = {
        {"the folder set is used",
         FolderRole::Drafts,
         "Brouillons",
         {folder("INBOX"), folder("Brouillons"), folder("Drafts", {"\\Drafts"})},
         {},
         FolderChoice::Set,
         "Brouillons",
         false},
        {"the folder set is found under another case of INBOX",
         FolderRole::Drafts,
         "inbox/Work",
         {folder("INBOX"), folder("INBOX/Work")},
         {},
         FolderChoice::Set,
         "INBOX/Work",
         false},
        {"the folder set is encoded",
         FolderRole::Drafts,
         "Entwürfe",
         {folder("Entw&APw-rfe")},
         {},
         FolderChoice::Set,
         "Entw&APw-rfe",
         false},
        {"a folder set that is missing is told",
         FolderRole::Drafts,
         "Nowhere",
         {folder("INBOX")},
         {},
         FolderChoice::SetMissing,
         "Nowhere",
         false},
        {"the marked folder wins over the usual name",
         FolderRole::Drafts,
         "",
         {folder("Drafts"), folder("Entw&APw-rfe", {"\\HasNoChildren", "\\drafts"})},
         {},
         FolderChoice::Marked,
         "Entw&APw-rfe",
         false},
        {"unmarked, the usual name in any case",
         FolderRole::Drafts,
         "",
         {folder("INBOX"), folder("DRAFTS")},
         {},
         FolderChoice::UsualName,
         "DRAFTS",
         true},
        {"unmarked, under the personal namespace",
         FolderRole::Drafts,
         "",
         {folder("INBOX"), folder("Drafts"), folder("INBOX.drafts")},
         inbox,
         FolderChoice::UsualName,
         "INBOX.drafts",
         true},
        {"none: created under the personal namespace",
         FolderRole::Drafts,
         "",
         {folder("INBOX")},
         inbox,
         FolderChoice::Create,
         "INBOX.Drafts",
         true},
        {"none and no namespace told: created at the top",
         FolderRole::Drafts,
         "",
         {folder("INBOX")},
         {},
         FolderChoice::Create,
         "Drafts",
         true},
        {"sent: the folder marked \\Sent, not the one marked \\Drafts",
         FolderRole::Sent,
         "",
         {folder("Drafts", {"\\Drafts"}), folder("Sent Items", {"\\Sent"}), folder("Sent")},
         {},
         FolderChoice::Marked,
         "Sent Items",
         false},
        {"sent, unmarked: the usual name under the personal namespace",
         FolderRole::Sent,
         "",
         {folder("INBOX"), folder("Sent"), folder("INBOX.SENT"),
          folder("INBOX.Drafts", {"\\Drafts"})},
         inbox,
         FolderChoice::UsualName,
         "INBOX.SENT",
         true},
        {"sent, none: created under the personal namespace",
         FolderRole::Sent,
         "",
         {folder("INBOX"), folder("INBOX.Drafts", {"\\Drafts"})},
         inbox,
         FolderChoice::Create,
         "INBOX.Sent",
         true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const FolderChoice choice = chooseFolder(row.role, row.set, row.folders, row.personal);
        EXPECT_EQ(choice.kind, row.kind);
        EXPECT_EQ(choice.folder, row.folder);
        // The reason names the mark the server gave, or lacked.
        if (row.kind != FolderChoice::Set && row.kind != FolderChoice::SetMissing) {
            EXPECT_TRUE(choice.reason().contains(QString::fromLatin1(specialUse(row.role))))
                << choice.reason().toStdString();
        }
        EXPECT_EQ(folderChoiceNeedsNamespace(row.role, row.set, row.folders), row.needsNamespace);
    }
}

TEST(FolderChoice, OffersOnlyFoldersThatCanHoldMail)
{
    EXPECT_EQ(offeredFolders({folder("INBOX"), folder("Archive", {"\\Noselect"}),
                              folder("Entw&APw-rfe"), folder("Gone", {"\\NonExistent"})}),
              "INBOX, Entwürfe");
}

} // namespace
