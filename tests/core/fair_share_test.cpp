// One user cannot hold the others up: requests taken in turn by stream, a bound on those
// waiting per stream, a departed user's reads dropped while his sends still go, a Bye that
// lets typed-ahead answers out first, and bounded texts both ways.
#include "main_fixture.h"

#include <algorithm>

using namespace gw;
using namespace gw::test;

namespace {
class FairShare : public NodeCoreTest {
  protected:
    void SetUp() override {
        NodeCoreTest::SetUp();
        connectUser("A", "N1CALL");
        connectUser("B", "N2CALL");
    }
    bool disconnected(const std::string& stream) const {
        return std::count(radio.calls.begin(), radio.calls.end(), "SendDisconnect 1" + stream) > 0;
    }
    void sendMessage(const std::string& letter, const std::string& body) {
        say(letter, "SP N3CALL\r");
        say(letter, "Subject\r");
        say(letter, body);
        say(letter, "/EX\r");
    }
};
} // namespace

TEST_F(FairShare, AFloodIsBoundedAndTheOtherUserIsServedNext) {
    for (int i = 0; i < 500; ++i)
        say("A", "LM\r");
    EXPECT_EQ(queues.CommandQueue.waiting(1), 4);
    EXPECT_EQ(sentText(), "*** Too many requests waiting! Wait for the answers.\rSMS>")
        << "one answer for the whole flood";
    say("B", "LM\r");
    auto first = takeRequest();
    auto second = takeRequest();
    EXPECT_EQ(first->UserCall, "N1CALL");
    EXPECT_EQ(second->UserCall, "N2CALL") << "B's request is next in turn";

    // Once one of A's requests has been taken, A may queue again.
    say("A", "LM\r");
    EXPECT_EQ(queues.CommandQueue.waiting(1), 4);
    EXPECT_EQ(sentText(), "");
}

TEST_F(FairShare, ADepartedUsersReadsLeaveTheQueueHisSendStaysAndIsLogged) {
    say("A", "LM\r");
    sendMessage("A", "Hello\r");
    say("A", "R SMS_X\r");
    const std::string mid = core.streams()[1].Mid;
    core.StatusEvent("S1A*** DISCONNECTED");
    ASSERT_EQ(queues.CommandQueue.Count(), 1);
    auto send = takeRequest();
    EXPECT_EQ(send->Command, "S");
    EXPECT_EQ(send->Mid, mid);
    answer(*send, ok());
    core.FlushLog();
    EXPECT_NE(logText().find("1/A: 2 request(s) of N1CALL dropped: no longer connected"),
              std::string::npos)
        << logText();
    EXPECT_NE(logText().find("N1CALL; 2026/05/14 10:30  MID : " + mid + " Sent."),
              std::string::npos)
        << logText();
}

TEST_F(FairShare, AByeTypedAfterARequestWaitsForItsAnswerOrTheGrace) {
    say("A", "R SMS_X\r");
    say("A", "B\r");
    say("A", "LM\r");
    EXPECT_FALSE(disconnected("A"));
    EXPECT_EQ(queues.CommandQueue.Count(), 1) << "lines after a Bye are not acted on";
    auto read = takeRequest();
    auto reply = ok();
    reply->Body = "The text\r";
    answer(*read, std::move(reply));
    EXPECT_NE(sentText().find("The text"), std::string::npos);
    EXPECT_TRUE(disconnected("A")) << "the link drops in the tick that delivered the answer";

    say("B", "LM\r");
    say("B", "BYE\r");
    clock.advance(NodeCore::kByeGrace - std::chrono::milliseconds(1));
    core.poll();
    EXPECT_FALSE(disconnected("B"));
    clock.advance(std::chrono::milliseconds(1));
    core.poll();
    EXPECT_TRUE(disconnected("B")) << "an answer that never comes holds the link no longer";
    core.FlushLog();
    EXPECT_NE(logText().find("1/B: Bye from N2CALL @ "), std::string::npos);
}

TEST_F(FairShare, ALongBodyIsRefusedWholeAndALongServerErrorIsCut) {
    const std::string line(1000, 'x');
    say("A", "SP N3CALL\r");
    say("A", "Subject\r");
    for (int i = 0; i < 40; ++i)
        say("A", line + "\r");
    radio.data.clear();
    say("A", "/EX\r");
    const std::string mid = core.streams()[1].Mid;
    EXPECT_EQ(sentText(), "*** Message longer than 32768 bytes! Mid: " + mid + " not sent.\rSMS>");
    EXPECT_EQ(queues.CommandQueue.Count(), 0);
    EXPECT_EQ(core.streams()[1].Input, InputState::Command);

    say("A", "R SMS_X\r");
    answer(*takeRequest(), failed(std::string(1'000'000, 'e')));
    const std::string text = sentText();
    EXPECT_LT(text.size(), 1100u);
    EXPECT_NE(text.find("...(cut at 1024 bytes)\rSMS>"), std::string::npos);
}
