// The TNC2 driver against a scripted TNC2 on a fake clock: converse lines and status, Init
// with its skipped commands and answers, disconnect, Restore.
#include "scripted_tncs.h"

#include <gtest/gtest.h>

using namespace gw;
using namespace gw::test;

namespace {
struct Tnc2Test : ::testing::Test {
    Tnc2Test() {
        rig.setup.type = "TNC2";
        rig.dispatch.setPolling(true);
        driver = static_cast<CTNC2*>(rig.dispatch.CreateDriver("TNC2"));
    }
    Rig rig;
    ScriptedTnc2 tnc{rig.serial};
    CTNC2* driver = nullptr;
};
} // namespace

TEST_F(Tnc2Test, ConverseLinesAndStatus) {
    driver->SerialIn("hello");
    EXPECT_TRUE(rig.main.data.empty()) << "no carriage return yet";
    driver->SerialIn("\r\r\rnext line\rpre *** connected to n0call via relay\r");
    driver->SerialIn("\n*** DISCONNECTED\r\n");
    // Lines arrive as a host-mode TNC delivers them, blank lines of the text included.
    EXPECT_EQ(rig.main.data,
              (std::vector<std::string>{"D1Ahello\r", "D1A\r", "D1A\r", "D1Anext line\r"}));
    EXPECT_EQ(rig.main.statuses, (std::vector<std::string>{"S1A*** CONNECTED TO N0CALL VIA RELAY",
                                                           "S1A*** DISCONNECTED"}));
    EXPECT_EQ(driver->lastStatusLine(), "S1A*** DISCONNECTED");
}

TEST_F(Tnc2Test, AutolfLinesAndLinkMessagesInOneReadKeepTheirOrder) {
    driver->SerialIn("\r\n*** CONNECTED to N1CALL\r\nLM\r\nFirst line\r\n\r\nSecond line\r\n"
                     "\r\n*** DISCONNECTED\r\n\r\n*** CONNECTED to: N2CALL\r\n"
                     "*** connect request: N9CALL\r\n*** N9CALL busy\r\n/EX\r\n"
                     "*** retry count exceeded\r\n\r\n*** DISCONNECTED\r\n");
    EXPECT_EQ(rig.main.events,
              (std::vector<std::string>{
                  "S1A*** CONNECTED TO N1CALL", "D1ALM\r", "D1AFirst line\r", "D1A\r",
                  "D1ASecond line\r", "S1A*** DISCONNECTED", "S1A*** CONNECTED TO N2CALL",
                  "S1A*** CONNECT REQUEST: N9CALL", "S1A*** N9CALL BUSY", "D1A/EX\r",
                  "S1A*** RETRY COUNT EXCEEDED", "S1A*** DISCONNECTED"}));
}

TEST_F(Tnc2Test, HandlerReadingThePortAgainSeesEachLineOnceInOrder) {
    bool fed = false;
    rig.main.onData = [&](const std::string& line) {
        if (fed || line.rfind("D1Aone", 0) != 0) return;
        fed = true;
        driver->SerialIn("three\r");
    };
    driver->SerialIn("one\rtwo\r");
    EXPECT_EQ(rig.main.data, (std::vector<std::string>{"D1Aone\r", "D1Atwo\r", "D1Athree\r"}));
}

TEST_F(Tnc2Test, OverlongLineIsHandedOnAsData) {
    driver->SerialIn(std::string(CTNC2::kMaxLine + 10, 'z'));
    ASSERT_EQ(rig.main.data.size(), 1u);
    EXPECT_EQ(rig.main.data[0].size(), CTNC2::kMaxLine + 13);
    EXPECT_EQ(driver->pendingLineBytes(), 0u);
}

TEST_F(Tnc2Test, InitSkipsTransparentAndConverseCommands) {
    rig.writeFile("TNC2.aps", "ECHO OFF\nT\ntrans\nconverse\nTRACE ON\nSENDPAC $01\n\nNEVER\n");
    ASSERT_TRUE(driver->Init()) << rig.setup.progressText;
    EXPECT_EQ(tnc.commands, (std::vector<std::string>{
                                "", "DISPLAY", "ECHO OFF", "TRACE ON", "SENDPAC $01", "COMMAND",
                                "PASS", "SENDPAC", "STREAMSW", "CANLINE", "CANPAC", "REDISPLA",
                                "START", "STOP", "PACLEN", "USERS", "DISCONNECT", "CONV"}));
    EXPECT_EQ(
        rig.setup.progressText,
        "Initializing TNC2 Clone:\r   Command mode set.\r   Getting settings with DISPLAY command."
        "\r   Saving initial settings to registry.\r   Reading .aps file.\r      Cmd: ECHO OFF"
        "\r      Cmd: T\r      Cmd: trans\r      Cmd: converse\r      Cmd: TRACE ON"
        "\r      Cmd: SENDPAC $01\r   Getting PACLEN parameter.\r   Getting MAXUSERS parameter.");
    EXPECT_EQ(rig.store.read(rig.section(), "TNC2State", ""),
              "\r\ncmd:ECHO OFF\r\nPACLEN 128\r\nINTFACE TERMINAL\r\n");
    EXPECT_EQ(driver->Paclen(1), 128);
    EXPECT_EQ(driver->Paclen(2), 0);
    EXPECT_EQ(rig.dispatch.lMaxusers1(), 1);
    EXPECT_FALSE(driver->commandMode());
    EXPECT_FALSE(tnc.command);
}

// The driver cannot tell one caller's lines from another's: a TNC2 serves one caller at a time.
TEST_F(Tnc2Test, MoreUsersThanOneAreSetBackToOne) {
    rig.setup.restore = false;
    rig.writeFile("TNC2.aps", "USERS 4\n");
    ASSERT_TRUE(driver->Init()) << rig.setup.progressText;
    const std::vector<std::string> tail(tnc.commands.end() - 6, tnc.commands.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"PACLEN", "USERS", "USERS 1", "USERS", "DISCONNECT",
                                              "CONV"}));
    EXPECT_EQ(rig.dispatch.lMaxusers1(), 1);
    EXPECT_NE(rig.setup.progressText.find("   USERS 4: one user at a time on a TNC2"),
              std::string::npos);
    ASSERT_EQ(rig.main.log.size(), 1u);
    EXPECT_EQ(rig.main.log[0].rfind("TNC2 had USERS 4: set to USERS 1", 0), 0u);
}

TEST_F(Tnc2Test, EchoingTncFailsWithNoUsers) {
    tnc.echo = true;
    rig.setup.restore = false;
    EXPECT_FALSE(driver->Init());
    ASSERT_EQ(rig.dialogs.shown().size(), 1u);
    EXPECT_EQ(rig.dialogs.shown()[0].title, "Max User Limit!");
    EXPECT_EQ(rig.dialogs.shown()[0].text, "Max user total is 0!\r     Edit .aps file.");
    EXPECT_EQ(driver->Paclen(1), 128);
}

TEST_F(Tnc2Test, SilentTncFailsCommandMode) {
    tnc.off = true;
    const auto start = rig.clock.elapsed();
    EXPECT_FALSE(driver->Init());
    ASSERT_EQ(rig.dialogs.shown().size(), 1u);
    EXPECT_EQ(rig.dialogs.shown()[0].text, "Could not set command mode to TNC, Check Settings.");
    EXPECT_EQ(tnc.received, "\r\x03\x03\x03");
    EXPECT_LT(rig.clock.elapsed() - start, 11s);
}

TEST_F(Tnc2Test, CommandIsSentUpToFourTimes) {
    ASSERT_TRUE(driver->SetCmdMode());
    tnc.commands.clear();
    tnc.silentAnswers = 3;
    EXPECT_TRUE(driver->SendCommand("MAXFRAME 4"));
    EXPECT_EQ(tnc.commands.size(), 4u);
    tnc.commands.clear();
    tnc.silentAnswers = 4;
    EXPECT_FALSE(driver->SendCommand("MAXFRAME 4"));
    EXPECT_EQ(tnc.commands.size(), 4u);
}

TEST_F(Tnc2Test, SendDataMakesEveryConverseCharacterLiteral) {
    driver->SendData("hi\r", "B", 1);
    EXPECT_EQ(rig.serial.written, "|Bhi\x16\r\x01") << "the node's own switch and end stay bare";
    rig.writeFile("TNC2.aps", "PASS $1B\nCOMMAND 5\n");
    ASSERT_TRUE(driver->Init());
    rig.serial.written.clear();
    driver->SendData("a\x05|Bb\x1B\x03\x01\x18\x19\x08\x7F\x12\x11\x13z", "A", 1);
    EXPECT_EQ(rig.serial.written, "|Aa\x1B\x05\x1B|Bb\x1B\x1B\x1B\x03\x1B\x01\x1B\x18\x1B\x19"
                                  "\x1B\x08\x1B\x7F\x1B\x12\x1B\x11\x1B\x13z\x01");
}

TEST_F(Tnc2Test, DisconnectReturnsToConverseAndReportsOnce) {
    ASSERT_TRUE(driver->Init());
    tnc.commands.clear();
    rig.main.statuses.clear();
    rig.main.data.clear();
    EXPECT_TRUE(driver->SendDisconnect("A", 1));
    EXPECT_EQ(tnc.commands, (std::vector<std::string>{"DISCONNECT", "", "CONV"}));
    EXPECT_EQ(rig.main.statuses, std::vector<std::string>{"S1A*** DISCONNECTED"});
    EXPECT_TRUE(rig.main.data.empty()) << "the prompt is not a user's line";
    EXPECT_FALSE(tnc.command);
}

TEST_F(Tnc2Test, RestoreSendsListingLinesBack) {
    rig.store.write(
        rig.section(), "TNC2State",
        "\r\ncmd:DISPLAY\r\nPACLEN 128 (bytes)\r\nINTFACE TERMINAL\r\ncmd:MAXFRAME 4\r\nTAIL 1");
    EXPECT_TRUE(driver->Restore());
    EXPECT_EQ(tnc.commands, (std::vector<std::string>{"", "DISPLAY", "PACLEN 128", "MAXFRAME 4"}));
    EXPECT_TRUE(driver->commandMode());
}
