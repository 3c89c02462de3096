// The simulated TNC's parameter rules: queries, settings, short forms, dual-port values.
#include "sim_params.h"

#include <gtest/gtest.h>

using namespace tncsim;

namespace {
SimParams params() {
    return SimParams(
        {{"INTFACE", "TERMINAL"}, {"MAXUSERS", "10/10"}, {"MYCALL", "NOCALL"}, {"MONITOR", "ON"}});
}
} // namespace

TEST(SimParams, QueryAndSetting) {
    SimParams p = params();
    EXPECT_EQ(p.command("MYCALL"), "MYCALL NOCALL");
    EXPECT_EQ(p.command("mycall n0node"), "MYCALL was NOCALL");
    EXPECT_EQ(p.get("MYCALL"), "n0node");
    EXPECT_EQ(p.command("monitor off"), "MONITOR was ON");
    EXPECT_FALSE(p.isOn("MONITOR"));
    EXPECT_EQ(p.command("FROB 1"), std::nullopt);
}

TEST(SimParams, ShortFormsMustBeUnique) {
    SimParams p = params();
    EXPECT_EQ(p.resolve("INT"), "INTFACE");
    EXPECT_EQ(p.resolve("M"), std::nullopt) << "one letter is too short";
    EXPECT_EQ(p.resolve("MY"), "MYCALL");
    EXPECT_EQ(p.resolve("MO"), "MONITOR");
    EXPECT_EQ(SimParams({{"MAXFRAME", "4"}, {"MAXUSERS", "10"}}).resolve("MAX"), std::nullopt);
}

TEST(SimParams, DualPortValueGivenOnceAppliesToBoth) {
    SimParams p = params();
    EXPECT_EQ(p.command("MAXUSERS 5"), "MAXUSERS was 10/10");
    EXPECT_EQ(p.get("MAXUSERS"), "5/5");
    p.command("MAXUSERS 6/4");
    EXPECT_EQ(p.command("MAXUSERS"), "MAXUSERS 6/4");
}

TEST(SimParams, ListingHasNotes) {
    SimParams p({{"STREAMSW", "$7C"}, {"PACLEN", "128"}});
    EXPECT_EQ(p.listing(), "STREAMSW $7C (|)\r\nPACLEN 128\r\n");
}
