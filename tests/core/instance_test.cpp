// Instance text and range at their boundaries.
#include "core/instance.h"

#include <gtest/gtest.h>

using namespace gw;

TEST(Instance, TextAndRange) {
    EXPECT_EQ(instanceText(""), "1");
    EXPECT_EQ(instanceText("03"), "03");
    for (const char* ok : {"1", "10", "03", "5"})
        EXPECT_TRUE(instanceValid(ok)) << ok;
    for (const char* bad : {"0", "11", "-1", "x", "", "abc", "1 2"})
        EXPECT_FALSE(instanceValid(bad)) << bad;
}
