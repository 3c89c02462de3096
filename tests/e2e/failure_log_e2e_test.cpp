// What the operator reads after a bad day: every failed request has its line in the log with
// the server's reason (a refused kill, a server that went away, a wrong node password), and a
// user who drops the link is told apart from one who says Bye.
#include "node_rig.h"

#include <QSettings>

namespace {
class FailureLog : public gwtest::NodeRig {
  protected:
    void SetUp() override { startServer({"--node", "N0CALL:SECRET"}); }
    std::string logText() const {
        QFile file(data() + "N0CALL_1_" + QDate::currentDate().toString("MM") + ".log");
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
    }
    void finish(const std::string& lastStep) {
        ASSERT_TRUE(waitForSim(lastStep, 60000)) << simOutput << node.readAll().toStdString();
        EXPECT_EQ(simOutput.find("FAILED"), std::string::npos) << simOutput;
    }
};
} // namespace

TEST_F(FailureLog, RefusedKillDroppedLinkAndAServerGoneAreEachLogged) {
    writeSettings("KPC3", "127.0.0.1");
    startTnc({"--type", "KPC3"}, R"(1A connect N1CALL
1A expect SMS> 30
1A send K SMS_UNKNOWN1
1A expect delivered!\rSMS> 30
1A disconnect
1B connect N2CALL
1B expect SMS> 30
1B wait 6000
1B send LM
1B expect SMS> 30
1B send SP N3CALL
1B expect : 30
1B send Kept?
1B expect /EX 30
1B send Text
1B send /EX
1B expect queued; it will be sent when the server can be reached.\rSMS> 30
1B send B
1B expect-disconnect 30
)");
    startNode();
    ASSERT_TRUE(waitForSim("1A expect ok: delivered", 30000)) << simOutput;
    smsd->kill();
    ASSERT_NO_FATAL_FAILURE(finish("1B expect-disconnect ok"));

    const std::string log = logText();
    EXPECT_NE(log.find("MID : SMS_UNKNOWN1 Kill failed: "), std::string::npos) << log;
    EXPECT_NE(log.find("1/A: DISCONNECTED from N1CALL @ "), std::string::npos) << log;
    EXPECT_EQ(log.find("Bye from N1CALL"), std::string::npos) << "N1CALL dropped the link";
    EXPECT_NE(log.find("N2CALL; "), std::string::npos) << log;
    EXPECT_NE(log.find("  List failed: Connection refused"), std::string::npos) << log;
    EXPECT_NE(log.find(" queued: Connection refused"), std::string::npos) << log;
    EXPECT_NE(log.find("1/B: Bye from N2CALL @ "), std::string::npos) << log;
}

TEST_F(FailureLog, AWrongNodePasswordIsLoggedWithTheRefusal) {
    writeSettings("KPC3", "127.0.0.1");
    QSettings(config() + "/gullwick/SMS.ini", QSettings::IniFormat)
        .setValue("Client1/Password", "WRONG");
    startTnc({"--type", "KPC3"}, R"(1A connect N1CALL
1A expect SMS> 30
1A send LM
1A expect ERROR: 30
1A send B
1A expect-disconnect 30
)");
    startNode();
    ASSERT_NO_FATAL_FAILURE(finish("1A expect-disconnect ok"));
    EXPECT_NE(logText().find("N1CALL; "), std::string::npos);
    EXPECT_NE(logText().find("  List failed: "), std::string::npos) << logText();
}
