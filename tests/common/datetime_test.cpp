// Date texts written by the node read back to the same moment.
#include "common/datetime.h"

#include <gtest/gtest.h>

using namespace gw;

TEST(DateTexts, GeneralTextReadsBackToSameMoment) {
    const QDateTime moment(QDate(2026, 12, 7), QTime(4, 5, 6));
    const std::string text = generalDateTime(moment);
    EXPECT_EQ(text, "2026-12-07 04:05:06");
    const auto back = parseGeneralDateTime(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, moment);
}

TEST(DateTexts, ZeroAndEmptyAreDateZero) {
    EXPECT_EQ(parseGeneralDateTime("0"), dateZero());
    EXPECT_EQ(parseGeneralDateTime(""), dateZero());
    EXPECT_EQ(dateZero().date(), QDate(1899, 12, 30));
    EXPECT_FALSE(parseGeneralDateTime("yesterday").has_value());
}

TEST(DateTexts, Stamp) {
    const QDateTime moment(QDate(2026, 1, 2), QTime(3, 4, 59));
    EXPECT_EQ(stampText(moment), "2026/01/02 03:04");
    EXPECT_EQ(parseStamp("2026/01/02 03:04"), QDateTime(QDate(2026, 1, 2), QTime(3, 4)));
    EXPECT_FALSE(parseStamp("2026/13/02 03:04").has_value());
    EXPECT_FALSE(parseStamp("not a date").has_value());
}
