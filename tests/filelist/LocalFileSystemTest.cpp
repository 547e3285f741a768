#include "filelist/LocalFileSystem.h"

#include "common/Failure.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>

namespace {

void makeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(LocalFileSystem, ListsRegularFilesAndLinksToThemOnly)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    makeFile(root + "/plain.txt", "x");
    makeFile(root + "/.hidden", "x");
    makeFile(root + "/with space é.bin", "x");
    QDir(root).mkdir("sub");
    makeFile(root + "/sub/inside.txt", "x");
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
    makeFile(dir.path() + "/file", "x");
    const LocalFileSystem fs;
    EXPECT_TRUE(fs.FolderExists(dir.path()));
    EXPECT_TRUE(fs.FolderExists(dir.path() + "/"));
    EXPECT_FALSE(fs.FolderExists(""));
    EXPECT_FALSE(fs.FolderExists(dir.path() + "/file"));
    EXPECT_FALSE(fs.FolderExists(dir.path() + "/nope"));
    EXPECT_FALSE(fs.FolderExists(QString::fromLatin1("bad\0path", 8)));
}

TEST(LocalFileSystem, FailuresNameThePath)
{
    QTemporaryDir dir;
    makeFile(dir.path() + "/five", "12345");
    const LocalFileSystem fs;
    EXPECT_EQ(fs.FileSize(dir.path() + "/five"), 5);
    try {
        fs.FileSize(dir.path() + "/gone");
        FAIL();
    } catch (const Failure &failure) {
        EXPECT_TRUE(failure.description().contains(dir.path() + "/gone"));
    }
    try {
        fs.FileNames(dir.path() + "/five");
        FAIL();
    } catch (const Failure &failure) {
        EXPECT_TRUE(failure.description().contains("Not a directory"));
    }
}

} // namespace
