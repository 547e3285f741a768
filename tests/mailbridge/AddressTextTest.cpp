#include "mailbridge/compose/AddressText.h"

#include "ParsedMessage.h"
#include "mailbridge/compose/GMimeLibrary.h"
#include "support/TestTools.h"

namespace {

TEST(AddressText, SplitsAtSeparatorsOutsideQuotesBracketsAndComments)
{
    EXPECT_EQ(splitAddressText(QStringLiteral(" a@x.org; b@y.org ,c@z.org ;; ")),
              QStringList({"a@x.org", "b@y.org", "c@z.org"}));
    EXPECT_EQ(splitAddressText(QStringLiteral("\"Doe; Jane, Dr\" <j@x.org>; b@y.org")),
              QStringList({"\"Doe; Jane, Dr\" <j@x.org>", "b@y.org"}));
    EXPECT_EQ(splitAddressText(QStringLiteral("\"say \\\"hi; there\\\"\" <a@x.org>;b@y.org")),
              QStringList({"\"say \\\"hi; there\\\"\" <a@x.org>", "b@y.org"}));
    EXPECT_EQ(splitAddressText(QStringLiteral("a@x.org (work; main), <odd;one@y.org>")),
              QStringList({"a@x.org (work; main)", "<odd;one@y.org>"}));
    EXPECT_EQ(splitAddressText(QStringLiteral("a@x.org\r\nb@y.org\nc@z.org")),
              QStringList({"a@x.org", "b@y.org", "c@z.org"}));
    EXPECT_TRUE(splitAddressText(QStringLiteral("  ; , ")).isEmpty());
}

class ParseAddressText : public testing::Test
{
protected:
    void SetUp() override { initGMime(); }

    static QStringList texts(const QString &input)
    {
        return addressTexts(parseAddressText(input).get());
    }
};

TEST_F(ParseAddressText, ParsesMailboxesWithAndWithoutNames)
{
    EXPECT_EQ(texts(QStringLiteral("Jane Doe <jane@x.org>; bob@y.org")),
              QStringList({"Jane Doe <jane@x.org>", "bob@y.org"}));
    EXPECT_EQ(texts(QStringLiteral("José Müller <jm@x.org>")),
              QStringList({"José Müller <jm@x.org>"}));
    EXPECT_TRUE(texts(QString()).isEmpty());
}

TEST_F(ParseAddressText, KeepsTextItCannotParseAsAnEmptyGroup)
{
    const auto list = parseAddressText(QStringLiteral("a@x.org, <<<>>>, b\x01@y.org"));
    ASSERT_EQ(internet_address_list_length(list.get()), 3);
    InternetAddress *second = internet_address_list_get_address(list.get(), 1);
    ASSERT_TRUE(INTERNET_ADDRESS_IS_GROUP(second));
    EXPECT_STREQ(internet_address_get_name(second), "<<<>>>");
    InternetAddress *third = internet_address_list_get_address(list.get(), 2);
    ASSERT_TRUE(INTERNET_ADDRESS_IS_GROUP(third)) << "a control character is never an address";
    EXPECT_EQ(internet_address_list_length(
                  internet_address_group_get_members(INTERNET_ADDRESS_GROUP(third))),
              0);
}

} // namespace
