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

TEST(FileNameOrder, IgnoresCaseAndFollowsTheLocalesLetters)
{
    for (const QLocale &locale :
         {QLocale(QLocale::German), QLocale(QLocale::English), QLocale::c()}) {
        SCOPED_TRACE(locale.name().toStdString());
        QStringList names = {"c.txt", "B.txt", "a.txt", "A.txt", "b.txt"};
        sortFileNames(names, locale);
        EXPECT_EQ(names, QStringList({"A.txt", "a.txt", "B.txt", "b.txt", "c.txt"}));

        // Accented letters sort with their base letters, not after z.
        QStringList accented = {QString::fromUtf8("Zoë's birthday.mov"),
                                QString::fromUtf8("ärger über Öl.docx"),
                                "Éb",
                                "ab",
                                "Ab",
                                "zz"};
        sortFileNames(accented, locale);
        EXPECT_EQ(accented, QStringList({"Ab", "ab", QString::fromUtf8("ärger über Öl.docx"), "Éb",
                                         QString::fromUtf8("Zoë's birthday.mov"), "zz"}));
    }
    QStringList swedish = {QString::fromUtf8("ärm"), "zon", "arm"};
    sortFileNames(swedish, QLocale(QLocale::Swedish));
    EXPECT_EQ(swedish, QStringList({"arm", "zon", QString::fromUtf8("ärm")}));
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

    list.setData(list.index(1, 0), Qt::Checked, Qt::CheckStateRole);
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
    list.setData(list.index(1, 0), Qt::Checked, Qt::CheckStateRole);
    list.tickAll();
    list.tickAll();
    for (const FileLine &line : list.lines())
        EXPECT_TRUE(line.ticked);
    EXPECT_EQ(list.data(list.index(2, 0), Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
}

} // namespace
