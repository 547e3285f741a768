#include "batch/SizeLimit.h"

#include "filelist/AttachmentPath.h"
#include "support/TestTools.h"

TEST(SizeLimit, AcceptsDecimalNumbers)
{
    EXPECT_EQ(sizeLimitBytes("750"), 768000.0);
    EXPECT_EQ(sizeLimitBytes(" 10240 "), 10485760.0);
    EXPECT_EQ(sizeLimitBytes(".5"), 512.0);
    EXPECT_EQ(sizeLimitBytes("-1"), -1024.0);
    EXPECT_EQ(sizeLimitBytes("1e3"), 1024000.0);
}

TEST(SizeLimit, RefusesAnythingElseNamingTheText)
{
    for (const QString text :
         {"", " ", "abc", "1,5", "0x10", "inf", "nan", "NaN", "7 7", "12kb", "1e308"})
        EXPECT_TRUE(failureOf([&] { sizeLimitBytes(text); }).contains("\"" + text + "\"")) << text;
}

TEST(AttachmentPath, NeverDoublesTheSeparator)
{
    EXPECT_EQ(attachmentPath("/", "a.txt"), "/a.txt");
    EXPECT_EQ(attachmentPath("/home/me/", "a b.txt"), "/home/me/a b.txt");
    EXPECT_EQ(attachmentPath("/home/me", "a"), "/home/me/a");
}
