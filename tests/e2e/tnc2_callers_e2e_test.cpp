// Two callers at a TNC2 whose start-up file asks for four users: the first one's session runs
// while the second one tries to connect in the middle of it. The second is answered busy, and
// nothing of his ever reaches the server or the log under either call.
#include "node_rig.h"

#include <QRegularExpression>
#include <QThread>

namespace {
constexpr const char* kScript = R"(1A connect N1CALL
1A expect SMS> 30
1A send SP N9CALL
1A expect : 30
1A send From N1CALL
1A expect /EX 30
1A send Written by N1CALL
1A wait 6000
1A send /EX
1A expect SMS> 30
1A send B
1A expect-disconnect 30
1B wait 3000
1B connect N2CALL
1B expect busy 10
1B send SP N9CALL
1B send From N2CALL
1B send Written by N2CALL
1B send /EX
)";

class Tnc2Callers : public gwtest::NodeRig {
  protected:
    void SetUp() override { startServer({"--node", "N0CALL:SECRET"}); }
};
} // namespace

TEST_F(Tnc2Callers, ASecondCallerIsAnsweredBusyAndNoneOfHisLinesReachTheServer) {
    writeSettings("TNC2", "127.0.0.1");
    QFile startup(data() + "TNC2.aps");
    ASSERT_TRUE(startup.open(QIODevice::WriteOnly));
    startup.write("ECHO OFF\nAUTOLF ON\nSTREAMSW $7C\nSENDPAC $01\nUSERS 4\n");
    startup.close();
    startTnc({"--type", "TNC2"}, kScript);
    startNode();

    ASSERT_TRUE(waitForSim("1A expect-disconnect ok", 60000))
        << simOutput << node.readAll().toStdString();
    EXPECT_EQ(simOutput.find("FAILED"), std::string::npos) << simOutput;
    EXPECT_NE(simOutput.find("1B expect ok: busy"), std::string::npos) << simOutput;

    const std::string list = gwtest::exchange(smsd->port(), "L|N0CALL|SECRET|N9CALL|\r\n").reply;
    const auto mids =
        QRegularExpression("SMS_[0-9A-Z]{8}").globalMatch(QString::fromStdString(list));
    ASSERT_TRUE(mids.hasNext()) << list;
    const std::string mid = mids.peekNext().captured().toStdString();
    EXPECT_NE(list.find("|N1CALL|From N1CALL"), std::string::npos) << list;
    const std::string read =
        gwtest::exchange(smsd->port(), "R|N0CALL|SECRET|N9CALL|" + mid + "|\r\n").reply;
    EXPECT_NE(read.find("Written by N1CALL"), std::string::npos) << read;
    for (const std::string& stored : {list, read})
        EXPECT_EQ(stored.find("N2CALL"), std::string::npos) << stored;

    const auto logText = [this] {
        QFile log(data() + "N0CALL_1_" + QDate::currentDate().toString("MM") + ".log");
        return log.open(QIODevice::ReadOnly) ? log.readAll().toStdString() : std::string();
    };
    QElapsedTimer timer;
    timer.start();
    while (logText().find("DISCONNECTED from N1CALL") == std::string::npos &&
           timer.elapsed() < 10000)
        QThread::msleep(50);
    const std::string logged = logText();
    EXPECT_NE(logged.find("TNC2 had USERS 4: set to USERS 1"), std::string::npos) << logged;
    EXPECT_EQ(logged.find("N2CALL"), std::string::npos) << logged;
}
