// The Kantronics host-mode driver against a scripted TNC on a fake clock: frames to events,
// Init with its progress and messages, answer variants, commands repeated, Restore.
#include "scripted_tncs.h"

#include <gtest/gtest.h>

using namespace gw;
using namespace gw::test;

namespace {
struct KantronicsTest : ::testing::Test {
    Rig rig;
    ScriptedKantronics tnc{rig.serial};
    CKantronics& create(const std::string& type) {
        rig.setup.type = type;
        rig.dispatch.setPolling(true);
        return static_cast<CKantronics&>(*rig.dispatch.CreateDriver(type));
    }
    std::vector<std::string> dialogTexts() const {
        std::vector<std::string> texts;
        for (const auto& shown : rig.dialogs.shown())
            texts.push_back(shown.text);
        return texts;
    }
};
} // namespace

TEST_F(KantronicsTest, InitFromTerminalModeSavesListingAndEntersHostMode) {
    rig.writeFile("KPC3.aps", "; start-up\nMYCALL N0NODE ; the node\nINTFACE HOST\n");
    CKantronics& driver = create("KPC3");
    ASSERT_TRUE(driver.Init()) << rig.setup.progressText;
    EXPECT_TRUE(driver.hostMode());
    EXPECT_EQ(rig.store.read(rig.section(), "KANSingleState", ""), tnc.listing);
    EXPECT_EQ(
        rig.setup.progressText,
        "\r   Terminal mode found.\r   Reading parameter settings.\r   Saving settings to registry."
        "\r   Setting Host mode.\r   Reading .aps file.\r   Command: MYCALL N0NODE"
        "\r   Command: INTFACE HOST\r   Getting PACLEN parameter.\r   Getting MAXUSERS parameter.");
    EXPECT_EQ(tnc.commands,
              (std::vector<std::string>{"C10MYCALL N0NODE", "C10PACLEN", "C10MAXUSERS"}))
        << "a line beginning IN is shown but not sent";
    EXPECT_EQ(driver.Paclen(1), 128);
    EXPECT_EQ(driver.Paclen(2), 0);
    EXPECT_EQ(driver.Paclen(3), 0);
    EXPECT_EQ(rig.dispatch.lMaxusers1(), 10);
    EXPECT_TRUE(rig.dialogs.shown().empty());
}

TEST_F(KantronicsTest, InitFindsHostModeAndClearsItFirst) {
    tnc.host = tnc.storedHost = true;
    CKantronics& driver = create("KPC3");
    ASSERT_TRUE(driver.Init());
    EXPECT_NE(rig.setup.progressText.find("   Host mode found.\r   Host mode cleared."),
              std::string::npos);
    EXPECT_TRUE(driver.hostMode());
}

TEST_F(KantronicsTest, SwitchedOffTncFailsInitAfterBothProbes) {
    tnc.off = true;
    CKantronics& driver = create("KPC3");
    const auto start = rig.clock.elapsed();
    EXPECT_FALSE(driver.Init());
    EXPECT_EQ(dialogTexts(),
              std::vector<std::string>{"Could not make connection to TNC, Check Settings."});
    EXPECT_GE(rig.clock.elapsed() - start, 10s);
    EXPECT_LT(rig.clock.elapsed() - start, 11s);
    EXPECT_NE(tnc.received.find("RESET\r"), std::string::npos);
    EXPECT_NE(tnc.received.find("\xC0"
                                "C10RESET\xC0"),
              std::string::npos);
}

TEST_F(KantronicsTest, ReceivedFramesBecomeEventsInOrderWithPayloadUnescaped) {
    CKantronics& driver = create("KPC3");
    ASSERT_TRUE(driver.Init());
    driver.SerialIn("\xC0"
                    "S1A*** CONNECTED to N0CALL\xC0\xC0"
                    "D1Aa\xDB\xDC"
                    "b");
    driver.SerialIn("\xDB\xDD\r\xC0"
                    "\xC0M1Amonitor\xC0\xC0I00\xC0\xC0\xC0");
    EXPECT_EQ(rig.main.statuses, std::vector<std::string>{"S1A*** CONNECTED to N0CALL"});
    EXPECT_EQ(rig.main.data, std::vector<std::string>{"D1Aa\xC0"
                                                      "b\xDB\r"});
    EXPECT_EQ(driver.lastDataFrame(), "D1Aa\xC0"
                                      "b\xDB\r");
}

TEST_F(KantronicsTest, HandlerReadingThePortAgainKeepsTheOrderOfFrames) {
    CKantronics& driver = create("KPC3");
    ASSERT_TRUE(driver.Init());
    bool fed = false;
    rig.main.onData = [&](const std::string&) {
        if (fed) return;
        fed = true;
        driver.SerialIn(fend("D1Athree"));
    };
    driver.SerialIn(fend("D1Aone") + fend("S1A*** DISCONNECTED"));
    EXPECT_EQ(rig.main.events,
              (std::vector<std::string>{"D1Aone", "S1A*** DISCONNECTED", "D1Athree"}));
}

TEST_F(KantronicsTest, FramesArrivingWithTheResetConfirmationAreKept) {
    tnc.afterReset = "noise" + fend("S1A*** CONNECTED to N0CALL") + fend("D1Ahi\r");
    ASSERT_TRUE(create("KPC3").Init());
    EXPECT_EQ(rig.main.statuses, std::vector<std::string>{"S1A*** CONNECTED to N0CALL"});
    EXPECT_EQ(rig.main.data, std::vector<std::string>{"D1Ahi\r"});
}

TEST_F(KantronicsTest, FramesAreNotCutInTerminalMode) {
    CKantronics& driver = create("KPC3");
    driver.SerialIn(fend("D1Ahello"));
    EXPECT_TRUE(rig.main.data.empty());
    EXPECT_EQ(driver.rawBuffer(), fend("D1Ahello"));
}

TEST_F(KantronicsTest, SendDataEscapesThePayload) {
    CKantronics& driver = create("KPC9612");
    driver.SendData("x\xDB\xC0y", "B", 2);
    EXPECT_EQ(rig.serial.written, "\xC0"
                                  "D2Bx\xDB\xDD\xDB\xDCy\xC0");
}

TEST_F(KantronicsTest, CommandIsRepeatedOnceAfterFiveSeconds) {
    CKantronics& driver = create("KPC3");
    ASSERT_TRUE(driver.Init());
    tnc.commands.clear();
    tnc.silentAnswers = 1;
    const auto start = rig.clock.elapsed();
    EXPECT_TRUE(driver.SendCommand("MYCALL N0NODE"));
    EXPECT_EQ(tnc.commands, (std::vector<std::string>{"C10MYCALL N0NODE", "C10MYCALL N0NODE"}));
    EXPECT_GE(rig.clock.elapsed() - start, 5s);
    tnc.silentAnswers = 2;
    tnc.commands.clear();
    EXPECT_FALSE(driver.SendCommand("MYCALL N0NODE"));
    EXPECT_EQ(tnc.commands.size(), 2u) << "never a third send";
}

TEST_F(KantronicsTest, StartupCommandWithoutAnswerFailsInitWithoutMessage) {
    rig.writeFile("KPC3.aps", "MYCALL N0NODE\nMAXFRAME 4\n");
    CKantronics& driver = create("KPC3");
    tnc.silentAnswers = 0;
    // Everything answers until host mode; then the first command gets no answer twice.
    rig.serial.onWrite = [this](const std::string& text) {
        if (tnc.host && text.find("MYCALL") != std::string::npos) tnc.silentAnswers = 1;
        tnc.heard(text);
    };
    EXPECT_FALSE(driver.Init());
    EXPECT_TRUE(rig.dialogs.shown().empty());
    EXPECT_EQ(rig.setup.progressText.find("MAXFRAME"), std::string::npos);
    EXPECT_EQ(rig.dispatch.ReadStartupFile(rig.setup.path + "KPC3.aps"), "MYCALL N0NODE")
        << "the next Init reads the file from its start";
}

TEST_F(KantronicsTest, DualPortAnswersFollowThePortChoice) {
    tnc.paclen = "PACLEN 128/64";
    tnc.maxusers = "MAXUSERS 10/1";
    rig.setup.port1 = rig.setup.port2 = true;
    EXPECT_FALSE(create("KPC9612").Init());
    ASSERT_EQ(rig.dialogs.shown().size(), 1u);
    EXPECT_EQ(rig.dialogs.shown()[0].title, "Max User Limit!");
    EXPECT_EQ(rig.dialogs.shown()[0].icon, DialogIcon::Exclamation);
    EXPECT_EQ(rig.dialogs.shown()[0].text, "Total max users exceeds 10!\r     Edit .aps file.");

    rig.dialogs.clear();
    tnc.host = tnc.storedHost = false;
    rig.setup.port2 = false;
    CKantronics& driver = create("KAM");
    EXPECT_TRUE(driver.Init());
    EXPECT_EQ(rig.dispatch.lMaxusers1(), 10);
    EXPECT_EQ(rig.dispatch.lMaxusers2(), 0);
    EXPECT_EQ(driver.Paclen(1), 128);
    EXPECT_EQ(driver.Paclen(2), 64);
    EXPECT_FALSE(rig.store.read(rig.section(), "KAMState", "").empty());
}

TEST_F(KantronicsTest, AnswerWithoutNumbers) {
    tnc.paclen = "PACLEN";
    tnc.maxusers = "MAXUSERS 0";
    CKantronics& single = create("KPC3");
    EXPECT_FALSE(single.Init());
    EXPECT_EQ(single.Paclen(1), 128);
    EXPECT_EQ(single.Paclen(2), 0);
    ASSERT_EQ(rig.dialogs.shown().size(), 1u);
    EXPECT_EQ(rig.dialogs.shown()[0].text, "Max user total is 0!\r     Edit .aps file.");

    tnc.host = tnc.storedHost = false;
    tnc.paclen = "PACLEN x/96";
    tnc.maxusers = "MAXUSERS 3";
    CKantronics& multi = create("KPC9612");
    EXPECT_FALSE(multi.Init()) << "no slash: no users";
    EXPECT_EQ(multi.Paclen(1), 128);
    EXPECT_EQ(multi.Paclen(2), 96);
    EXPECT_EQ(rig.dispatch.lMaxusers1(), 0);

    tnc.host = tnc.storedHost = false;
    tnc.paclen = "PACLEN 99999999999/1e300";
    tnc.maxusers = "MAXUSERS 1e300/99999999999";
    CKantronics& huge = create("KPC9612");
    EXPECT_FALSE(huge.Init()) << "numbers past 32 bits are no numbers";
    EXPECT_EQ(huge.Paclen(1), 128);
    EXPECT_EQ(huge.Paclen(2), 128);
    EXPECT_EQ(rig.dispatch.lMaxusers1(), 0);
    EXPECT_EQ(rig.dispatch.lMaxusers2(), 0);
}

TEST_F(KantronicsTest, DisconnectFramePortPerVariant) {
    CKantronics& single = create("KPC3");
    ASSERT_TRUE(single.Init());
    tnc.commands.clear();
    EXPECT_TRUE(single.SendDisconnect("B", 2));
    EXPECT_EQ(tnc.commands, std::vector<std::string>{"C1BD"});

    tnc.host = tnc.storedHost = false;
    tnc.maxusers = "MAXUSERS 4/4";
    CKantronics& multi = create("KPC9612");
    ASSERT_TRUE(multi.Init());
    tnc.commands.clear();
    EXPECT_TRUE(multi.SendDisconnect("B", 2));
    EXPECT_EQ(tnc.commands, std::vector<std::string>{"C2BD"});
}

TEST_F(KantronicsTest, RestoreSendsListingBackAndLeavesHostMode) {
    CKantronics& driver = create("KPC3");
    ASSERT_TRUE(driver.Init());
    rig.store.write(rig.section(), "KANSingleState",
                    "PACLEN 128\r\nintface terminal\r\n  STREAMSW $7C (|)  \r\n\r\nMAXFRAME 4");
    tnc.commands.clear();
    EXPECT_TRUE(driver.Restore());
    EXPECT_EQ(tnc.commands, (std::vector<std::string>{"C10PACLEN 128", "C10STREAMSW $7C",
                                                      "C10RESET", "C10RESET", "q"}))
        << "RESET is answered by S00 only, so it is sent a second time";
    EXPECT_FALSE(driver.hostMode());
    EXPECT_FALSE(tnc.host);
}

TEST_F(KantronicsTest, RestoreWithoutSavedSettingsSendsNothing) {
    CKantronics& driver = create("KPC3");
    EXPECT_FALSE(driver.Restore());
    EXPECT_TRUE(tnc.received.empty());
}

TEST_F(KantronicsTest, RawBufferStaysBounded) {
    CKantronics& driver = create("KPC3");
    ASSERT_TRUE(driver.Init());
    const std::string frame = fend("D1A" + std::string(200, 'x'));
    for (int i = 0; i < 5000; ++i)
        driver.SerialIn(frame);
    EXPECT_EQ(rig.main.data.size(), 5000u);
    EXPECT_LE(driver.rawBuffer().size(), 2 * CKantronics::kRawKeep);
    driver.SerialIn("\xC0" + std::string(70 * 1024, 'y'));
    EXPECT_LE(driver.pendingFrameBytes(), HostFrameDecoder::kMaxPending);
}
