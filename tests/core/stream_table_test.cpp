// Stream letters and ports to table indexes.
#include "core/stream_table.h"

#include <gtest/gtest.h>

using namespace gw;

TEST(StreamIndex, OnePortInUse) {
    EXPECT_EQ(streamIndex("A", 1, true, false, 10), 1);
    EXPECT_EQ(streamIndex("j", 1, true, false, 10), 10);
    EXPECT_EQ(streamIndex("0", 1, true, false, 10), 0);
    EXPECT_EQ(streamIndex("", 1, true, false, 10), 0);
    EXPECT_EQ(streamIndex("K", 1, true, false, 10), -1);
    EXPECT_EQ(streamIndex("C", 7, false, true, 10), 3) << "one port in use ignores the port";
}

TEST(StreamIndex, BothPortsAndNeither) {
    EXPECT_EQ(streamIndex("B", 2, true, true, 4), 6);
    EXPECT_EQ(streamIndex("B", 1, true, true, 4), 2);
    EXPECT_EQ(streamIndex("B", 3, true, true, 4), 0);
    EXPECT_EQ(streamIndex("B", 1, false, false, 4), 0);
}

TEST(StreamIndex, NoStreamOrUnknownLetterOnPortTwoNeverNamesAUser) {
    EXPECT_EQ(streamIndex("0", 2, true, true, 4), 0);
    EXPECT_EQ(streamIndex("K", 2, true, true, 4), -1);
}

TEST(StreamRecord, ClearingKeepsPortAndList) {
    StreamRecord r;
    r.IdleMinutes = 3;
    r.Port = 2;
    r.CallSign = "N0CALL";
    r.Input = InputState::Body;
    r.Body = "x";
    r.ListedMids = {"A", "B", ""};
    r.clearTexts();
    EXPECT_EQ(r.Port, 2);
    EXPECT_EQ(r.ListedMids.size(), 3u);
    EXPECT_TRUE(r.CallSign.empty());
    EXPECT_TRUE(r.Body.empty());
    EXPECT_EQ(r.Input, InputState::Command);
}
