#include "filelist/LocalFileSystem.h"

#include "support/TestTools.h"

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

TEST(LocalFileSystem, ListsRegularFilesAndLinksToThemOnly)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    QDir(root).mkdir("sub");
    for (const char *name : {"plain.txt", ".hidden", "with space é.bin", "sub/inside.txt"})
        writeFile(root + '/' + QString::fromUtf8(name), "x");
    ASSERT_EQ(mkfifo(QFile::encodeName(root + "/pipe").constData(), 0600), 0);
    QFile::link(root + "/plain.txt", root + "/link-to-file");
    QFile::link(root + "/sub", root + "/link-to-folder");
    QFile::link(root + "/missing", root + "/dangling");

    QStringList names = LocalFileSystem().FileNames(root);
    names.sort();
    EXPECT_EQ(names, QStringList({".hidden", "link-to-file", "plain.txt", "with space é.bin"}));
}

TEST(LocalFileSystem, FolderExistsAnswersWithoutFailing)
{
    QTemporaryDir dir;
    writeFile(dir.path() + "/file", "x");
    const LocalFileSystem fs;
    EXPECT_TRUE(fs.FolderExists(dir.path()));
    EXPECT_TRUE(fs.FolderExists(dir.path() + "/"));
    for (const QString &path : {QString(""), dir.path() + "/file", dir.path() + "/nope",
                                QString::fromLatin1("bad\0path", 8)})
        EXPECT_FALSE(fs.FolderExists(path)) << path;
}

TEST(LocalFileSystem, FailuresNameThePath)
{
    QTemporaryDir dir;
    const QString five = writeFile(dir.path() + "/five", "12345");
    const LocalFileSystem fs;
    EXPECT_EQ(fs.FileSize(five), 5);
    EXPECT_TRUE(
        failureOf([&] { fs.FileSize(dir.path() + "/gone"); }).contains(dir.path() + "/gone"));
    EXPECT_TRUE(failureOf([&] { fs.FileNames(five); }).contains("Not a directory"));
}

} // namespace
