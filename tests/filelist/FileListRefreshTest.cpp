#include "filelist/FileListRefresh.h"

#include "filelist/FileListModel.h"
#include "filelist/FileNameOrder.h"
#include "support/FakeFileSystem.h"

#include <gtest/gtest.h>

namespace {

QStringList texts(const FileListModel &list)
{
    QStringList t;
    for (const FileLine &line : list.lines())
        t << line.name;
    return t;
}

TEST(FileNameOrder, IgnoresCaseAcrossCase)
{
    QStringList names = {"c.txt", "B.txt", "a.txt", "A.txt", "b.txt", "_x", "10", "9"};
    sortFileNames(names);
    EXPECT_EQ(names, QStringList({"10", "9", "_x", "A.txt", "a.txt", "B.txt", "b.txt", "c.txt"}));

    QStringList accented = {"Éb", "éa", "ab", "abc", "Ab"};
    sortFileNames(accented);
    EXPECT_EQ(accented, QStringList({"Ab", "ab", "abc", "éa", "Éb"}));
}

TEST(FileListRefresh, SentinelLinesWhenThereIsNothingToList)
{
    FakeFileSystem fs;
    fs.addFolder("/empty");
    fs.addFolder("/full");
    fs.addFile("/full/No files", 1);
    fs.addFile("/afile", 1);
    FileListModel list;

    for (const QString folder : {"", "/afile", "/missing"}) {
        refreshFileList(folder, fs, list);
        EXPECT_EQ(texts(list), QStringList({"Not a Valid Path"})) << folder.toStdString();
        EXPECT_EQ(list.state(), ListState::NotAValidPath);
    }
    refreshFileList("/empty", fs, list);
    EXPECT_EQ(texts(list), QStringList({"No files"}));
    EXPECT_EQ(list.state(), ListState::NoFiles);
    // A file of that name is an ordinary line, and the list holds files.
    refreshFileList("/full", fs, list);
    EXPECT_EQ(texts(list), QStringList({"No files"}));
    EXPECT_EQ(list.state(), ListState::Files);
    EXPECT_EQ(list.folder(), "/full");
}

TEST(FileListRefresh, ListsSortedAndClearsTicks)
{
    FakeFileSystem fs;
    fs.addFolder("/f");
    for (const char *name : {"b.txt", "A.txt", "c.txt"})
        fs.addFile(QString("/f/") + name, 1);
    FileListModel list;
    refreshFileList("/f", fs, list);
    EXPECT_EQ(texts(list), QStringList({"A.txt", "b.txt", "c.txt"}));

    list.setData(list.index(1), Qt::Checked, Qt::CheckStateRole);
    EXPECT_TRUE(list.lines()[1].ticked);
    refreshFileList("/f", fs, list);
    EXPECT_EQ(texts(list), QStringList({"A.txt", "b.txt", "c.txt"}));
    for (const FileLine &line : list.lines())
        EXPECT_FALSE(line.ticked);
}

TEST(FileListModel, TickAllOnlyTicks)
{
    FileListModel list;
    list.reset("/f", {"Not a Valid Path"});
    list.tickAll();
    EXPECT_TRUE(list.lines()[0].ticked);

    list.reset("/f", {"a", "b", "c"});
    list.setData(list.index(1), Qt::Checked, Qt::CheckStateRole);
    list.tickAll();
    list.tickAll();
    for (const FileLine &line : list.lines())
        EXPECT_TRUE(line.ticked);
    EXPECT_EQ(list.data(list.index(2), Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
}

} // namespace
