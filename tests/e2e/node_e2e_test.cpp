// The whole node as it runs on a Raspberry Pi: brevane headless, smsd on 127.0.0.1 and a
// simulated TNC on a pseudo-terminal behind the COM1 device map. A scripted radio user
// lists, reads, sends, kills and logs off; every byte the user receives is checked.
#include "node_rig.h"

#include <QRegularExpression>
#include <QThread>
#include <csignal>

namespace {
constexpr const char* kScript = R"(1A connect N1CALL
1A expect SMS> 30
1A send LM
1A expect SMS> 30
1A send R 1
1A expect SMS> 30
1A send SP N0CALL
1A expect : 30
1A send Field day
1A expect /EX 30
1A send Line one
1A send Line two
1A send /EX
1A expect SMS> 30
1A send K 1
1A expect SMS> 30
1A send B
1A expect-disconnect 30
)";

class NodeEndToEnd : public gwtest::NodeRig {
  protected:
    void SetUp() override { startServer({"--node", "N0CALL:SECRET", "--seed"}); }
    std::string logText() const {
        QFile file(data() + "N0CALL_1_" + QDate::currentDate().toString("MM") + ".log");
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
    }
    std::string activeValue() const {
        QSettings ini(config() + "/gullwick/SMS.ini", QSettings::IniFormat);
        return ini.value("Client1/Active").toString().toStdString();
    }

    // The user's whole session, and the node's and the server's record of it.
    void runSession() {
        ASSERT_TRUE(waitForSim("1A expect-disconnect ok", 60000))
            << simOutput << node.readAll().toStdString();
        EXPECT_EQ(simOutput.find("FAILED"), std::string::npos) << simOutput;
        const std::string got = received();
        QRegularExpression midPattern("new MID (SMS_[0-9A-Z]{8}) to");
        const auto match = midPattern.match(QString::fromStdString(got));
        ASSERT_TRUE(match.hasMatch()) << got;
        const std::string mid = match.captured(1).toStdString();
        const std::string expected =
            "Welcome to N0CALL\\r"
            "\\rIP connection verified.\\rSMS>"
            "(1) SMS_SEED0002  2026/05/02 18:40  52  N2CALL  Net tonight\\r"
            "(2) SMS_SEED0003  2026/05/03 07:05  36  N0CALL  Antenna party\\r\\rSMS>"
            "Mid: SMS_SEED0002\\rDate: 2026/05/02 18:40\\rFrom: N2CALL\\rTo: N0CALL\\r"
            "Cc: N1CALL\\rSubject: Net tonight\\r"
            "The club net starts at 20:00 on the usual frequency.\\rSMS>"
            "Enter the subject for new MID " +
            mid +
            " to N0CALL :\\r"
            "Enter Msg, end with /EX on a separate line:\\r"
            "Mid: " +
            mid +
            " accepted!\\rSMS>"
            "Destination N1CALL of Mid: SMS_SEED0002 marked delivered!\\rSMS>";
        EXPECT_EQ(got, expected);

        const auto stored = gwtest::exchange(smsd->port(), "L|N0CALL|SECRET|N0CALL|\r\n");
        EXPECT_NE(stored.reply.find(mid + "|"), std::string::npos) << stored.reply;
        EXPECT_NE(stored.reply.find("|N1CALL|Field day"), std::string::npos) << stored.reply;

        QElapsedTimer timer;
        timer.start();
        while (logText().find("DISCONNECTED") == std::string::npos && timer.elapsed() < 10000)
            QThread::msleep(50);
        const std::string log = logText();
        EXPECT_NE(log.find(" on Comm 1 initialized @ "), std::string::npos) << log;
        EXPECT_NE(log.find("1/A: CONNECTED to N1CALL @ "), std::string::npos) << log;
        EXPECT_NE(log.find("  List: 2 messages.\r\n"), std::string::npos) << log;
        EXPECT_NE(log.find("  MID : SMS_SEED0002 Read.\r\n"), std::string::npos) << log;
        EXPECT_NE(log.find("  MID : " + mid + " Sent.\r\n"), std::string::npos) << log;
        EXPECT_NE(log.find("  MID : SMS_SEED0002 Killed.\r\n"), std::string::npos) << log;
        EXPECT_NE(log.find("1/A: DISCONNECTED from N1CALL @ "), std::string::npos) << log;
    }
};
} // namespace

TEST_F(NodeEndToEnd, KantronicsHostMode) {
    writeSettings("KPC3", "127.0.0.1");
    startTnc({"--type", "KPC3"}, kScript);
    startNode();
    runSession();
}

TEST_F(NodeEndToEnd, Tnc2ConverseMode) {
    writeSettings("TNC2", "127.0.0.1");
    startTnc({"--type", "TNC2"}, kScript);
    startNode();
    runSession();
}

// A KISS TNC: the node runs the AX.25 link itself against tncsim's independent users.
TEST_F(NodeEndToEnd, KissTnc) {
    writeSettings("KISS", "127.0.0.1");
    startTnc({"--type", "KISS"}, kScript);
    startNode();
    runSession();
    EXPECT_NE(simOutput.find("tnc: kiss param TXDELAY 30 port 0"), std::string::npos);
}

// One frame in ten lost, one in twenty twice, one in ten late: every byte still arrives once
// and in order.
TEST_F(NodeEndToEnd, KissTncOverALossyChannel) {
    writeSettings("KISS", "127.0.0.1");
    startTnc({"--type", "KISS", "--drop", "10", "--dup", "5", "--delay-frames", "10:700", "--seed",
              "3", "--trace"},
             kScript);
    startNode();
    runSession();
    EXPECT_NE(simOutput.find("channel drops"), std::string::npos) << "the channel lost frames";
}

TEST_F(NodeEndToEnd, SigtermRestoresTheTncAndFreesTheInstance) {
    writeSettings("KPC3", "127.0.0.1");
    startTnc({"--type", "KPC3"}, kScript);
    startNode();
    ASSERT_TRUE(waitForSim("radio users start", 30000)) << simOutput;
    ::kill(static_cast<pid_t>(node.processId()), SIGTERM);
    ASSERT_TRUE(node.waitForFinished(30000));
    EXPECT_EQ(node.exitCode(), 0);
    ASSERT_TRUE(waitForSim("terminal mode", 5000)) << simOutput;
    const std::size_t restoreAt = simOutput.find("host frame C10PACLEN 128");
    EXPECT_NE(restoreAt, std::string::npos) << "the saved settings went back: " << simOutput;
    EXPECT_LT(restoreAt, simOutput.find("terminal mode"));
    EXPECT_NE(logText().find(" closing @ "), std::string::npos);
    EXPECT_EQ(activeValue(), "0");
}
