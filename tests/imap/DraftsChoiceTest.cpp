// Which folder drafts go into, from the server's LIST and NAMESPACE answers alone.
#include "mailbridge/imap/DraftsChoice.h"

#include "support/TestTools.h"

namespace {

ListedMailbox folder(const QByteArray &name, QList<QByteArray> attributes = {})
{
    return ListedMailbox{std::move(attributes), "/", name};
}

TEST(DraftsChoice, Rows)
{
    const ImapNamespace inbox{"INBOX.", "."};
    const struct
    {
        const char *name;
        QString set;
        QList<ListedMailbox> folders;
        std::optional<ImapNamespace> personal;
        DraftsChoice::Kind kind;
        QByteArray folder;
        bool needsNamespace;
    } rows[] = {
        {"the folder set is used",
         "Brouillons",
         {folder("INBOX"), folder("Brouillons"), folder("Drafts", {"\\Drafts"})},
         {},
         DraftsChoice::Set,
         "Brouillons",
         false},
        {"the folder set is found under another case of INBOX",
         "inbox/Work",
         {folder("INBOX"), folder("INBOX/Work")},
         {},
         DraftsChoice::Set,
         "INBOX/Work",
         false},
        {"the folder set is encoded",
         "Entwürfe",
         {folder("Entw&APw-rfe")},
         {},
         DraftsChoice::Set,
         "Entw&APw-rfe",
         false},
        {"a folder set that is missing is told",
         "Nowhere",
         {folder("INBOX")},
         {},
         DraftsChoice::SetMissing,
         "Nowhere",
         false},
        {"the marked folder wins over the usual name",
         "",
         {folder("Drafts"), folder("Entw&APw-rfe", {"\\HasNoChildren", "\\drafts"})},
         {},
         DraftsChoice::Marked,
         "Entw&APw-rfe",
         false},
        {"unmarked, the usual name in any case",
         "",
         {folder("INBOX"), folder("DRAFTS")},
         {},
         DraftsChoice::UsualName,
         "DRAFTS",
         true},
        {"unmarked, under the personal namespace",
         "",
         {folder("INBOX"), folder("Drafts"), folder("INBOX.drafts")},
         inbox,
         DraftsChoice::UsualName,
         "INBOX.drafts",
         true},
        {"none: created under the personal namespace",
         "",
         {folder("INBOX")},
         inbox,
         DraftsChoice::Create,
         "INBOX.Drafts",
         true},
        {"none and no namespace told: created at the top",
         "",
         {folder("INBOX")},
         {},
         DraftsChoice::Create,
         "Drafts",
         true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const DraftsChoice choice = chooseDraftsFolder(row.set, row.folders, row.personal);
        EXPECT_EQ(choice.kind, row.kind);
        EXPECT_EQ(choice.folder, row.folder);
        EXPECT_FALSE(choice.reason().isEmpty());
        EXPECT_EQ(draftsChoiceNeedsNamespace(row.set, row.folders), row.needsNamespace);
    }
}

TEST(DraftsChoice, OffersOnlyFoldersThatCanHoldMail)
{
    EXPECT_EQ(offeredFolders({folder("INBOX"), folder("Archive", {"\\Noselect"}),
                              folder("Entw&APw-rfe"), folder("Gone", {"\\NonExistent"})}),
              "INBOX, Entwürfe");
}

} // namespace
