// Message identifiers: form, prefix handling, weighting and uniqueness.
#include "server/cmid_generator.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace gw;

namespace {
bool inAlphabet(const std::string& text) {
    return text.find_first_not_of(CMidGenerator::kAlphabet) == std::string::npos;
}
} // namespace

TEST(CMidGenerator, FormWithPrefix) {
    CMidGenerator generator;
    generator.Tag("SMS_");
    for (int i = 0; i < 500; ++i) {
        const std::string mid = generator.NewMid();
        ASSERT_EQ(mid.size(), 12u);
        EXPECT_EQ(mid.substr(0, 4), "SMS_");
        EXPECT_TRUE(inAlphabet(mid.substr(4))) << mid;
        EXPECT_EQ(generator.LastMid(), mid);
    }
}

TEST(CMidGenerator, FirstMidHasEmptyPrefix) {
    CMidGenerator generator;
    EXPECT_EQ(generator.LastMid().size(), 12u);
    EXPECT_TRUE(inAlphabet(generator.LastMid()));
}

TEST(CMidGenerator, LongPrefixesComeBackWhole) {
    CMidGenerator generator;
    generator.Tag("ABCDEFGHIJKL");
    EXPECT_EQ(generator.LastMid(), "ABCDEFGHIJKL");
    EXPECT_EQ(generator.NewMid(), "ABCDEFGHIJKL");
    generator.Tag("ABCDEFGHIJKLMNOP");
    EXPECT_EQ(generator.NewMid(), "ABCDEFGHIJKLMNOP");
}

TEST(CMidGenerator, TagAndNewMidEachMakeANewMid) {
    CMidGenerator generator;
    const std::string first = generator.LastMid();
    generator.Tag("SMS_");
    const std::string tagged = generator.LastMid();
    EXPECT_NE(tagged, first);
    EXPECT_EQ(tagged.substr(0, 4), "SMS_");
    EXPECT_NE(generator.NewMid(), tagged);
}

TEST(CMidGenerator, BackToBackMidsAreDistinct) {
    // Separate generators made in the same instant, as two users in one polling tick.
    std::set<std::string> mids;
    for (int i = 0; i < 2000; ++i) {
        CMidGenerator generator;
        generator.Tag("SMS_");
        mids.insert(generator.NewMid());
    }
    EXPECT_EQ(mids.size(), 2000u);
}

TEST(CMidGenerator, ZeroHalfWeightZOneAndAHalf) {
    CMidGenerator generator;
    std::map<char, int> counts;
    const int mids = 30000;
    for (int i = 0; i < mids; ++i)
        for (char c : generator.NewMid())
            ++counts[c];
    const double perWeight = 12.0 * mids / 36.0;
    EXPECT_NEAR(counts['0'] / perWeight, 0.5, 0.05);
    EXPECT_NEAR(counts['Z'] / perWeight, 1.5, 0.05);
    EXPECT_NEAR(counts['K'] / perWeight, 1.0, 0.05);
    EXPECT_EQ(counts.size(), 36u);
}
