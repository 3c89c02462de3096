// Instance text and heartbeat rules at their boundaries.
#include "core/instance.h"

#include "common/datetime.h"

#include <gtest/gtest.h>

using namespace gw;

TEST(Instance, TextAndRange) {
    EXPECT_EQ(instanceText(""), "1");
    EXPECT_EQ(instanceText("03"), "03");
    for (const char* ok : {"1", "10", "03", "5"}) EXPECT_TRUE(instanceValid(ok)) << ok;
    for (const char* bad : {"0", "11", "-1", "x", "", "abc", "1 2"}) EXPECT_FALSE(instanceValid(bad)) << bad;
}

TEST(Instance, HeartbeatBoundaries) {
    const QDateTime now(QDate(2026, 12, 7), QTime(12, 0, 0));
    auto beat = [&](int secondsAgo) { return generalDateTime(now.addSecs(-secondsAgo)); };
    EXPECT_TRUE(heartbeatBlocks(beat(0), now));
    EXPECT_TRUE(heartbeatBlocks(beat(69), now));
    EXPECT_FALSE(heartbeatBlocks(beat(70), now));
    EXPECT_FALSE(heartbeatBlocks("0", now));
    EXPECT_FALSE(heartbeatBlocks("", now));
    EXPECT_FALSE(heartbeatBlocks("garbage", now));
}

TEST(Instance, FutureHeartbeatBeyondWindowIsStale) {
    const QDateTime now(QDate(2026, 12, 7), QTime(12, 0, 0));
    // A clock set back after a power cut must not lock the node out.
    EXPECT_FALSE(heartbeatBlocks(generalDateTime(now.addSecs(71)), now));
    EXPECT_FALSE(heartbeatBlocks(generalDateTime(now.addDays(400)), now));
    // A beat a few seconds ahead is another copy whose clock runs slightly fast.
    EXPECT_TRUE(heartbeatBlocks(generalDateTime(now.addSecs(5)), now));
}
