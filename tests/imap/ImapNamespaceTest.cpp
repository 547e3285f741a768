// A server whose personal folders live under "INBOX." and that marks no folder \Drafts.
#include "ImapServerFixture.h"
#include "mailbridge/imap/ImapOutbox.h"

namespace {

class InboxNamespaceTest : public ImapServerFixture
{
protected:
    DovecotOptions options() const override
    {
        DovecotOptions options;
        options.inboxNamespace = true;
        options.marksDrafts = false;
        return options;
    }
};

TEST_F(InboxNamespaceTest, DraftsGoIntoTheFolderUnderTheInboxPrefix)
{
    ImapOutbox drafts(endpoint(), QString(DovecotServer::password));
    const QString failure =
        failureOf([&] { send(drafts, "under the prefix", {randomFile("a.bin", 5000)}); });
    EXPECT_TRUE(failure.isEmpty()) << failure;
    EXPECT_EQ(subjectsIn(draftsFolder()), QStringList{"under the prefix"});
    // No top-level folder beside INBOX, which such a server would refuse anyway.
    for (const QByteArray &line : reader().command("LIST \"\" \"*\""))
        EXPECT_FALSE(line.endsWith(" Drafts") || line.endsWith(" \"Drafts\"")) << line.data();
}

} // namespace
