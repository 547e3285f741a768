#include "mailbridge/review/FiledDraftsFile.h"
#include "common/Failure.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

FiledDraft draft(const QString &id, const QStringList &files = {QStringLiteral("a.bin")})
{
    return FiledDraft{id, QStringLiteral("Subject ") + id, files,
                      QDateTime::fromSecsSinceEpoch(1700000000, Qt::OffsetFromUTC, 3600)};
}

} // namespace

TEST(FiledDraftsFileTest, KeepsEachAccountsDraftsPrivatelyAcrossReaders)
{
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("state/Ferrymail/filed-drafts.json"));
    FiledDraftsFile record(path);
    EXPECT_TRUE(record.of(QStringLiteral("a")).empty());
    record.add(QStringLiteral("a"), draft(QStringLiteral("1@h"), {"ärger über Öl.docx", "b"}));
    record.add(QStringLiteral("a"), draft(QStringLiteral("2@h")));
    record.add(QStringLiteral("b"), draft(QStringLiteral("3@h")));

    const std::vector<FiledDraft> a = FiledDraftsFile(path).of(QStringLiteral("a"));
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].attachmentNames, (QStringList{"ärger über Öl.docx", "b"}));
    EXPECT_EQ(a[0].filed, draft(QStringLiteral("1@h")).filed);
    EXPECT_EQ(a[1].subject, "Subject 2@h");
    EXPECT_EQ(QFile::permissions(path) & 0x0777, QFile::ReadUser | QFile::WriteUser);
    EXPECT_EQ(QFile::permissions(home.filePath(QStringLiteral("state/Ferrymail"))) & 0x0777,
              QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);

    record.remove(QStringLiteral("a"), {QStringLiteral("1@h"), QStringLiteral("3@h")});
    EXPECT_EQ(record.of(QStringLiteral("a")).size(), 1u);
    EXPECT_EQ(record.of(QStringLiteral("b")).size(), 1u);
}

TEST(FiledDraftsFileTest, StaysBoundedAndRefusesWhatItCannotRead)
{
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("filed-drafts.json"));
    FiledDraftsFile record(path, 5);
    for (int i = 0; i < 5 + 3; ++i)
        record.add(QStringLiteral("a"), draft(QString::number(i)));
    const std::vector<FiledDraft> kept = record.of(QStringLiteral("a"));
    ASSERT_EQ(kept.size(), 5u);
    EXPECT_EQ(kept.front().messageId, "3"); // the oldest went first

    for (const QByteArray &content :
         {QByteArray("{not json"), QByteArray(FiledDraftsFile::maxBytes + 1, ' ')}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        EXPECT_THROW(record.of(QStringLiteral("a")), Failure);
        EXPECT_THROW(record.add(QStringLiteral("a"), draft(QStringLiteral("x"))), Failure);
    }
}
