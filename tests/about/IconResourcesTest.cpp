#include <QPixmap>
#include <gtest/gtest.h>

namespace {

// Linked only through the static ferrymail_gui library, as the program is.
TEST(IconResources, EveryPictureLoadsAtItsSize)
{
    const std::pair<const char *, int> icons[] = {
        {":/icons/ferrymail-16.png", 16},   {":/icons/ferrymail-32.png", 32},
        {":/icons/ferrymail-256.png", 256}, {":/icons/send-16.png", 16},
        {":/icons/send-32.png", 32},        {":/icons/browse-16.png", 16},
        {":/icons/about-16.png", 16},       {":/icons/emblem-32.png", 32},
    };
    for (const auto &[path, size] : icons) {
        const QPixmap pixmap(QString::fromLatin1(path));
        ASSERT_FALSE(pixmap.isNull()) << path;
        EXPECT_EQ(pixmap.size(), QSize(size, size)) << path;
        EXPECT_TRUE(pixmap.hasAlphaChannel()) << path;
    }
}

} // namespace
