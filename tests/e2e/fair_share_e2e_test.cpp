// Two radio users on one Kantronics against smsd: a user who floods the node with lists holds
// nobody else up, his reads stop reaching the server when he leaves while the message he sent
// is stored, and a read typed ahead of a Bye arrives whole before the link drops.
#include "node_rig.h"

namespace {
class FairShareEndToEnd : public gwtest::NodeRig {
  protected:
    void SetUp() override {
        startServer({"--node", "N0CALL:SECRET"});
        writeSettings("KPC3", "127.0.0.1");
    }
    // The users' script on a KPC3, to its last step, with every expectation met.
    void play(const std::string& script, const std::string& lastStep) {
        startTnc({"--type", "KPC3"}, script.c_str());
        startNode();
        ASSERT_TRUE(waitForSim(lastStep, 90000)) << simOutput << node.readAll().toStdString();
        EXPECT_EQ(simOutput.find("FAILED"), std::string::npos) << simOutput;
    }
    int smsdLines(const std::string& text) {
        const std::string log = smsd->log();
        int count = 0;
        for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++count;
        return count;
    }
};
} // namespace

TEST_F(FairShareEndToEnd, AFloodingUserHoldsNobodyUpAndHisReadsEndWithHim) {
    std::string script = R"(1A connect N1CALL
1A expect SMS> 30
1A send SP N3CALL
1A expect : 30
1A send Before the flood
1A expect /EX 30
1A send Sent and then gone
1A send /EX
)";
    for (int i = 0; i < 500; ++i)
        script += "1A send LM\n";
    script += R"(1A wait 3000
1A disconnect
1B connect N2CALL
1B expect SMS> 30
1B wait 2500
1B send LM
1B expect <None found>\r\rSMS> 6
1B wait 6000
1B send B
1B expect-disconnect 30
)";
    ASSERT_NO_FATAL_FAILURE(play(script, "1B expect-disconnect ok"));

    // Four lists wait at most; those not taken before he left never reach the server.
    EXPECT_LE(smsdLines(" L N0CALL N1CALL:"), 4) << smsd->log();
    EXPECT_EQ(smsdLines(" L N0CALL N2CALL:"), 1) << smsd->log();
    const auto stored = gwtest::exchange(smsd->port(), "L|N0CALL|SECRET|N3CALL|\r\n");
    EXPECT_NE(stored.reply.find("|N1CALL|Before the flood"), std::string::npos) << stored.reply;
}

TEST_F(FairShareEndToEnd, AReadTypedAheadOfByeArrivesWholeBeforeTheLinkDrops) {
    std::string script = R"(1A connect N1CALL
1A expect SMS> 30
1A send SP N1CALL
1A expect : 30
1A send Long one
1A expect /EX 30
)";
    for (int i = 10; i < 20; ++i)
        script += "1A send Line " + std::to_string(i) + " " + std::string(190, 'x') + "\n";
    script += R"(1A send /EX
1A expect accepted!\rSMS> 30
1A send LM
1A expect SMS> 30
1A send R 1
1A send B
1A expect Line 19 )" +
              std::string(190, 'x') +
              R"(\r\rSMS> 15
1A expect-disconnect 30
)";
    play(script, "1A expect-disconnect ok");
}
