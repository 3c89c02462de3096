// The TNC dispatch: labels, start-up and text files, packet splitting, unsupported types,
// polling, a failing serial port, and disconnects asked for while received text is handled.
#include "scripted_tncs.h"

#include <gtest/gtest.h>

using namespace gw;
using namespace gw::test;

namespace {
struct DispatchTest : ::testing::Test {
    Rig rig;
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& shown : rig.dialogs.shown())
            out.push_back(shown.text);
        return out;
    }
};

struct KantronicsDispatchTest : DispatchTest {
    KantronicsDispatchTest() {
        tnc.paclen = "PACLEN 10";
        rig.dispatch.setPolling(true);
        driver = rig.dispatch.CreateDriver("KPC3");
        EXPECT_TRUE(driver->Init());
        tnc.commands.clear();
        rig.serial.written.clear();
    }
    ScriptedKantronics tnc{rig.serial};
    TncDriver* driver = nullptr;
};
} // namespace

TEST_F(DispatchTest, LabelsFollowPortsAndUserLimits) {
    rig.dispatch.setLMaxusers1(4);
    rig.dispatch.setLMaxusers2(3);
    rig.setup.port1 = rig.setup.port2 = true;
    EXPECT_EQ(rig.dispatch.GetLabel(1), "1/A");
    EXPECT_EQ(rig.dispatch.GetLabel(4), "1/D");
    EXPECT_EQ(rig.dispatch.GetLabel(6), "2/B");
    EXPECT_EQ(rig.dispatch.GetLabel(8), "");
    rig.setup.port1 = false;
    EXPECT_EQ(rig.dispatch.GetLabel(3), "2/C");
    rig.setup.port2 = false;
    EXPECT_EQ(rig.dispatch.GetLabel(3), "");
    rig.setup.port1 = true;
    EXPECT_EQ(rig.dispatch.GetLabel(0), "");
}

TEST_F(DispatchTest, StartupFileStopsAtEmptyLine) {
    rig.writeFile("KPC3.aps",
                  "; comment line\r\n  MYCALL N0NODE   ; the node's call  \r\n\r\nMAXFRAME 4\r\n");
    const std::string path = rig.setup.path + "KPC3.aps";
    EXPECT_EQ(rig.dispatch.ReadStartupFile(path), "MYCALL N0NODE");
    EXPECT_EQ(rig.dispatch.ReadStartupFile(path), "");
    EXPECT_EQ(rig.dispatch.ReadStartupFile(path), "MYCALL N0NODE") << "the file was closed";
    EXPECT_EQ(rig.dispatch.ReadStartupFile(""), "");
    EXPECT_EQ(rig.dispatch.ReadStartupFile(rig.setup.path + "missing.aps"), "");
}

TEST_F(DispatchTest, StartupFileEndsAtItsLastLine) {
    rig.writeFile("TNC2.aps", "ECHO OFF\n;only a comment");
    const std::string path = rig.setup.path + "TNC2.aps";
    EXPECT_EQ(rig.dispatch.ReadStartupFile(path), "ECHO OFF");
    EXPECT_EQ(rig.dispatch.ReadStartupFile(path), "");
}

TEST_F(DispatchTest, TextFileDropsLineFeedsAndTinyFiles) {
    rig.writeFile("banner.txt", "Welcome\r\nto the node\r\n");
    rig.writeFile("one.txt", "x");
    EXPECT_EQ(rig.dispatch.ReadFromTextFile(rig.setup.path + "banner.txt"),
              "Welcome\rto the node\r");
    EXPECT_EQ(rig.dispatch.ReadFromTextFile(rig.setup.path + "one.txt"), "");
    EXPECT_EQ(rig.dispatch.ReadFromTextFile(rig.setup.path + "none.txt"), "");
}

TEST_F(KantronicsDispatchTest, SendDataSplitsToThePacketLength) {
    rig.dispatch.SendData(1, "B", "0123456789abcdefghijKLM");
    EXPECT_EQ(rig.serial.written, fend("D1B0123456789") + fend("D1Babcdefghij") + fend("D1BKLM"));
    EXPECT_EQ(rig.main.traffic, std::vector<int>{2});
    EXPECT_EQ(rig.main.monitor, std::vector<std::string>{"   0123456789abcdefghijKLM"});
    rig.serial.written.clear();
    rig.dispatch.SendData(1, "B", "0123456789abcdefghij");
    EXPECT_EQ(rig.serial.written, fend("D1B0123456789") + fend("D1Babcdefghij"));
}

TEST_F(KantronicsDispatchTest, UnknownStreamSendsNothing) {
    rig.dispatch.SendData(1, "K", "hello");
    rig.dispatch.SendData(1, "0", "hello");
    EXPECT_TRUE(rig.serial.written.empty());
    EXPECT_TRUE(rig.main.traffic.empty());
}

TEST_F(KantronicsDispatchTest, SendFileSendsTheFolderFile) {
    rig.writeFile("banner.txt", "Hi there\r\nSMS>");
    rig.writeFile("tiny.txt", "x");
    rig.dispatch.SendFile(1, "A", "banner.txt");
    rig.dispatch.SendFile(1, "A", "tiny.txt");
    EXPECT_EQ(rig.serial.written, fend("D1AHi there\rS") + fend("D1AMS>"));
    EXPECT_EQ(rig.main.monitor, (std::vector<std::string>{"   Hi there\rSMS>", "   "}));
}

TEST_F(DispatchTest, UnsupportedTypeMessages) {
    rig.setup.type = "kpc3";
    rig.dispatch.SendData(1, "A", "hello");
    rig.dispatch.SendDisconnect(1, "A");
    rig.dispatch.ClearHostMode();
    rig.dispatch.Restore();
    EXPECT_EQ(texts(), (std::vector<std::string>{"Unsupported TNC! In GetPaclen.",
                                                 "Unsupported TNC! In SendDatatoTNC.",
                                                 "Unsupported TNC! Make selection from List."}));
    EXPECT_EQ(rig.dialogs.shown()[0].title, kProgramTitle);
    EXPECT_EQ(rig.dialogs.shown()[0].icon, DialogIcon::None);
    EXPECT_EQ(rig.setup.shown, 1);
    EXPECT_TRUE(rig.serial.written.empty());
}

TEST_F(DispatchTest, PollingWithUnsupportedTypeStopsUntilEnabledAgain) {
    rig.setup.type = "TNC9";
    rig.dispatch.setPolling(true);
    rig.serial.reply("text");
    rig.dispatch.tmrPollSerial_Timer();
    EXPECT_FALSE(rig.dispatch.polling());
    EXPECT_EQ(texts(), std::vector<std::string>{"Unsupported TNC! Make selection from List."});
    EXPECT_EQ(rig.setup.shown, 1);
    EXPECT_TRUE(rig.serial.idle());
}

TEST_F(DispatchTest, PollingWithoutDriverDropsText) {
    rig.setup.type = "TNC2";
    rig.serial.reply("*** CONNECTED to N0CALL\r");
    rig.dispatch.tmrPollSerial_Timer();
    EXPECT_TRUE(rig.dispatch.polling());
    EXPECT_TRUE(rig.main.statuses.empty());
    EXPECT_TRUE(rig.dialogs.shown().empty());
}

TEST_F(DispatchTest, ReadFailureIsReportedOnceAndPollingGoesOn) {
    rig.setup.type = "TNC2";
    rig.dispatch.CreateDriver("TNC2");
    rig.serial.failing = true;
    for (int tick = 0; tick < 20; ++tick)
        rig.dispatch.tmrPollSerial_Timer();
    EXPECT_EQ(rig.main.log.size(), 1u);
    EXPECT_NE(rig.main.log[0].find("Failure on Comm device read operation"), std::string::npos);
    EXPECT_EQ(rig.main.monitor.size(), 1u);
    EXPECT_EQ(rig.main.tncStatus, "TNC2 serial port failure");
    EXPECT_FALSE(rig.main.tncWorking);
    EXPECT_TRUE(rig.dialogs.shown().empty());
    EXPECT_TRUE(rig.dispatch.polling());

    rig.serial.failing = false; // the port was opened again
    rig.serial.reply("hello\r");
    rig.dispatch.tmrPollSerial_Timer();
    EXPECT_EQ(rig.main.data, std::vector<std::string>{"D1Ahello\r"});
    rig.serial.failing = true;
    rig.dispatch.tmrPollSerial_Timer();
    EXPECT_EQ(rig.main.log.size(), 2u) << "a new failure is reported again";
}

TEST_F(KantronicsDispatchTest, ByeDuringReceivedDataDisconnectsWithoutStalling) {
    rig.main.onData = [this](const std::string& data) {
        if (data == "D1AB\r") rig.dispatch.SendDisconnect(1, "A");
    };
    rig.serial.reply(fend("D1AB\r"));
    const auto start = rig.clock.elapsed();
    rig.dispatch.tmrPollSerial_Timer();
    EXPECT_EQ(tnc.commands, std::vector<std::string>{"C1AD"});
    EXPECT_LT(rig.clock.elapsed() - start, 1s) << "the answer reached the disconnect's wait";
    EXPECT_EQ(static_cast<CKantronics*>(driver)->lastCommandAnswer(), "C1A");
}

TEST_F(DispatchTest, Tnc2ByeDuringReceivedDataLeavesTncInConverseMode) {
    ScriptedTnc2 tnc{rig.serial};
    rig.setup.type = "TNC2";
    rig.dispatch.setPolling(true);
    ASSERT_TRUE(rig.dispatch.CreateDriver("TNC2")->Init());
    rig.main.onData = [this](const std::string& data) {
        if (data == "D1AB\r") rig.dispatch.SendDisconnect(1, "A");
    };
    tnc.commands.clear();
    rig.serial.reply("B\r\n");
    rig.dispatch.tmrPollSerial_Timer();
    EXPECT_FALSE(tnc.command) << "the TNC is back in converse mode";
    EXPECT_EQ(tnc.commands, (std::vector<std::string>{"DISCONNECT", "", "CONV"}));
    EXPECT_EQ(rig.main.statuses, std::vector<std::string>{"S1A*** DISCONNECTED"});
}

TEST_F(KantronicsDispatchTest, RestoreEndsTheDriverAndClearHostModeOnlyForKantronics) {
    rig.dispatch.ClearHostMode();
    EXPECT_EQ(tnc.commands, std::vector<std::string>{"q"});
    EXPECT_FALSE(tnc.host);
    rig.dispatch.Restore();
    EXPECT_EQ(rig.dispatch.driver("KPC3"), nullptr);
    EXPECT_EQ(rig.dispatch.GetPaclen(1), 0);
}
