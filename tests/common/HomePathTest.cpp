#include "common/HomePath.h"

#include "support/TestTools.h"

#include <QDir>

namespace {

// Sets HOME for one case and puts it back.
class HomeFolderTest : public ::testing::Test
{
protected:
    void setHome(const QByteArray &home) { qputenv("HOME", home); }
    ~HomeFolderTest() override { qputenv("HOME", m_saved); }

private:
    QByteArray m_saved = qgetenv("HOME");
};

TEST_F(HomeFolderTest, TildeAloneOrBeforeASlashIsTheHomeFolder)
{
    setHome("/home/ann");
    EXPECT_EQ(expandHome("~"), "/home/ann");
    EXPECT_EQ(expandHome("~/"), "/home/ann/");
    EXPECT_EQ(expandHome("~/docs/scans"), "/home/ann/docs/scans");
    // Only the start counts, and another user's home is not guessed at.
    for (const char *kept : {"/tmp/~/docs", "~ann/docs", "~docs", "docs~", "", " ~/docs"})
        EXPECT_EQ(expandHome(kept), kept) << kept;
}

TEST_F(HomeFolderTest, AHomeOfTheRootFolderGivesNoDoubleSlash)
{
    setHome("/");
    EXPECT_EQ(expandHome("~/docs"), "/docs");
    EXPECT_EQ(expandHome("~"), "/");
}

} // namespace
