// The rules every request meets before it reaches the server, from the console (any view) and
// from a radio user alike: call signs, MIDs, addresses and messages as what they are, kill and
// send for the node's own call only, and the server password's rule.
#include "core/console_rules.h"
#include "main_fixture.h"

using namespace gw;
using namespace gw::test;

TEST_F(NodeCoreTest, ConsoleRequestsWhoseFieldsAreNotWhatTheyClaimAreRefusedWithTheReason) {
    // The node's call as typed in lower case into the settings file is still its own.
    setup.call = "n0call";
    std::string mid = "SMS_AAAAAAAA";
    std::string refusal;
    EXPECT_TRUE(core.consoleKill("N0CALL", mid, &refusal)) << refusal;
    mid = "SMS_AAAAAAAA";
    EXPECT_FALSE(core.consoleKill("N1CALL", mid, &refusal));
    EXPECT_EQ(refusal, "K and SP are for the node's own call sign only.");
    EXPECT_FALSE(core.consoleSend("N1CALL", "N2CALL", "Hi", "Text", mid, &refusal));
    EXPECT_EQ(refusal, "K and SP are for the node's own call sign only.");
    EXPECT_FALSE(core.consoleList("N1|X|Y", &refusal));
    EXPECT_EQ(refusal, "User call \"N1|X|Y\" is not a call sign (letters and digits with an "
                       "optional -SSID 0 to 15).");
    mid = "A|B";
    EXPECT_FALSE(core.consoleRead("N1CALL", mid, &refusal));
    EXPECT_EQ(refusal, "MID \"A|B\" is not a MID (1 to 64 letters, digits or signs, no blanks "
                       "and no |).");
    EXPECT_FALSE(core.consoleSend("N0CALL", "N1CALL|X", "Hi", "Text", mid, &refusal));
    EXPECT_EQ(refusal, "Address \"N1CALL|X\" is not a call sign (with an optional @route) or "
                       "SMTP:mail address.");
    EXPECT_FALSE(core.consoleSend("N0CALL", "N1CALL", "Hi", "one\r\n/ex\r\nS|more", mid, &refusal));
    EXPECT_EQ(refusal, "The message must not hold a line \"/EX\": it would end the message there.");
    // The window's console has no refusal text to fill: the operator is told in a box.
    EXPECT_FALSE(core.consoleList("N1-16"));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].icon, DialogIcon::Exclamation);
    ASSERT_EQ(queues.CommandQueue.Count(), 1) << "only the first kill went out";
    EXPECT_EQ(takeRequest()->UserCall, "N0CALL");
    std::string sent;
    EXPECT_TRUE(core.consoleSend("n0call", "N1CALL@N0NODE.#NCA.CA;SMTP:op@example.org", "Hi",
                                 "Text", sent, &refusal))
        << refusal;
}

TEST_F(NodeCoreTest, ARadioUsersFieldsCannotMakeAFieldOfTheServersProtocol) {
    connectUser("A", "N1|X");
    say("A", "LM\r");
    connectUser("B", "N2CALL");
    say("B", "R SMS_1|L\r");
    say("B", "SP N3CALL|X\r");
    EXPECT_EQ(queues.CommandQueue.Count(), 0);
    const std::string told = radio.data.empty() ? "" : radio.data.back().text;
    EXPECT_NE(told.find("*** Address \"N3CALL|X\" is not a call sign"), std::string::npos) << told;
    EXPECT_EQ(core.counters().requests.at({"list", "refused"}), 1u);
    EXPECT_EQ(core.counters().requests.at({"read", "refused"}), 1u);
    say("B", "SP N3CALL,N4CALL-7\r");
    EXPECT_EQ(core.streams()[core.Index("B", 1)].Input, InputState::Subject);
}

TEST(ServerPassword, FourToTwelveCharactersStoredInUpperCase) {
    std::string problem;
    EXPECT_EQ(serverPassword("  secret  ", problem), "SECRET");
    EXPECT_EQ(problem, "");
    for (const char* bad : {"abc", "abcdefghijklm", "ab\tcd"}) {
        EXPECT_EQ(serverPassword(bad, problem), "") << bad;
        EXPECT_FALSE(problem.empty()) << bad;
    }
}
