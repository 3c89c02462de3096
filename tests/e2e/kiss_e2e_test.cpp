// The node over a KISS TNC when radio users misbehave: brevane headless with smsd and
// tncsim's KISS modem on a pseudo-terminal. A user who vanishes costs his stream only until
// the link fails; garbage on the line, a thousand callers and a user who never acknowledges
// leave the node up, its memory bounded and the other users served.
#include "direwolf_rig.h"
#include "node_rig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <csignal>

namespace {

class KissEndToEnd : public gwtest::NodeRig {
  protected:
    void SetUp() override {
        startServer({"--node", "N0CALL:SECRET", "--seed"});
        writeSettings("KISS", "127.0.0.1");
        // Links fail quickly, so that the test need not wait minutes for them.
        QSettings ini(config() + "/gullwick/SMS.ini", QSettings::IniFormat);
        ini.setValue("Client1/KISSRetries", "2");
        ini.setValue("Client1/KISST1", "1");
        ini.setValue("Client1/WebServer", "True");
        ini.setValue("Client1/WebPort", webPort);
    }
    // The body of the node's answer to GET `path` on its web page.
    std::string page(const std::string& path) const {
        const auto answer = gwtest::exchange(
            static_cast<std::uint16_t>(webPort),
            "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(webPort) + "\r\n\r\n");
        const std::size_t body = answer.reply.find("\r\n\r\n");
        return body == std::string::npos ? answer.reply : answer.reply.substr(body + 4);
    }
    std::string logText() const {
        QFile file(data() + "N0CALL_1_" + QDate::currentDate().toString("MM") + ".log");
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
    }
    std::string diagnostics() {
        return simOutput + "\n--- node ---\n" + node.readAll().toStdString() + "\n--- log ---\n" +
               logText();
    }
    // The node's resident memory in KiB.
    long residentKiB() const {
        QFile status(QString("/proc/%1/status").arg(node.processId()));
        if (!status.open(QIODevice::ReadOnly)) return -1;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ')[0].toLong();
        return -1;
    }
    const int webPort = gwtest::freePort(SOCK_STREAM);
    static std::size_t count(const std::string& text, const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos;
             at = text.find(what, at + 1))
            ++n;
        return n;
    }
};

TEST_F(KissEndToEnd, AUserWhoVanishesFreesHisStreamWhenTheLinkFails) {
    startTnc({"--type", "KISS"}, R"(1A connect N1CALL
1A expect SMS> 30
1A send R 1
1A vanish
1B wait 15000
1B connect N2CALL
1B expect SMS> 30
1B send B
1B expect-disconnect 30
)");
    startNode();
    // The operator sees the link on the page while it lives.
    ASSERT_TRUE(waitForSim("1A expect ok", 30000)) << diagnostics();
    const QJsonObject link = QJsonDocument::fromJson(QByteArray::fromStdString(page("/api/status")))
                                 .object()["streams"]
                                 .toArray()[0]
                                 .toObject()["link"]
                                 .toObject();
    EXPECT_EQ(link["state"].toString(), "connected") << page("/api/status");
    EXPECT_GE(link["framesSent"].toInt(), 2) << "UA and the greeting";
    EXPECT_TRUE(link["retries"].isDouble() && link["framesResent"].isDouble());
    ASSERT_TRUE(waitForSim("1B expect-disconnect ok", 70000)) << diagnostics();
    EXPECT_NE(page("/metrics")
                  .find("gullwick_ax25_link_failures_total{node_instance=\"1\",port=\"1\"} 1\n"),
              std::string::npos)
        << page("/metrics");
    const std::string log = logText();
    const std::size_t failed = log.find("1/A: link to N1CALL failed: ");
    const std::size_t freed = log.find("1/A: DISCONNECTED from N1CALL @ ");
    const std::size_t next = log.find("1/A: CONNECTED to N2CALL @ ");
    ASSERT_NE(failed, std::string::npos) << log;
    ASSERT_NE(freed, std::string::npos) << log;
    ASSERT_NE(next, std::string::npos) << "the next caller takes the freed stream: " << log;
    EXPECT_LT(freed, next);
}

// A caller two digipeaters away, through a radio that hands the node its own frames back:
// the node answers by the same digipeaters reversed and takes none of its frames for his.
TEST_F(KissEndToEnd, ThroughDigipeatersWithTheNodesOwnFramesEchoed) {
    startTnc({"--type", "KISS", "--echo-own"}, R"(1A connect N1CALL via DIGI1,DIGI2
1A expect SMS> 30
1A send LM
1A expect Antenna party 30
1A send B
1A expect-disconnect 30
)");
    startNode();
    ASSERT_TRUE(waitForSim("1A expect-disconnect ok", 60000)) << diagnostics();
    EXPECT_EQ(simOutput.find("tnc: error"), std::string::npos) << diagnostics();
    EXPECT_EQ(logText().find(" failed: "), std::string::npos) << logText();
}

// A stop with users on: every link is taken down before the node leaves KISS and ends.
TEST_F(KissEndToEnd, SigtermTakesTheLinksDownThenLeavesKiss) {
    {
        QSettings ini(config() + "/gullwick/SMS.ini", QSettings::IniFormat);
        ini.setValue("Client1/KISSExit", "True");
    }
    startTnc({"--type", "KISS"}, R"(1A connect N1CALL
1A expect SMS> 30
1B connect N2CALL
1B expect SMS> 30
1B never-ack
)");
    startNode();
    ASSERT_TRUE(waitForSim("1B expect ok", 30000)) << diagnostics();
    ::kill(static_cast<pid_t>(node.processId()), SIGTERM);
    ASSERT_TRUE(node.waitForFinished(60000)) << diagnostics();
    EXPECT_EQ(node.exitCode(), 0);
    ASSERT_TRUE(waitForSim("tnc: kiss leave KISS mode", 5000)) << diagnostics();
    const std::size_t left = simOutput.find("tnc: kiss leave KISS mode");
    EXPECT_LT(simOutput.find("1A disconnected by node"), left) << diagnostics();
    EXPECT_LT(simOutput.find("1B disconnected by node"), left) << diagnostics();
}

TEST_F(KissEndToEnd, GarbageAThousandCallersAndASilentPeerLeaveTheOthersServed) {
    startTnc({"--type", "KISS"}, R"(1B connect N1CALL
1B expect SMS> 30
1C connect N2CALL
1C expect SMS> 30
1C never-ack
1C send H
1A garbage 100000
1A raw C0 00 DB 41 C0 C0 00 01 02 C0
1D wait 2000
1D flood 1000
1B wait 3000
1B send LM
1B expect SMS> 60
1B send R 1
1B expect SMS> 60
1B send B
1B expect-disconnect 60
1E wait 25000
1E connect N3CALL
1E expect SMS> 60
1E send B
1E expect-disconnect 30
)");
    startNode();
    ASSERT_TRUE(waitForSim("1C >>> H", 30000)) << diagnostics();
    const long before = residentKiB();
    ASSERT_TRUE(waitForSim("1E expect-disconnect ok", 100000)) << diagnostics();
    const long after = residentKiB();
    EXPECT_EQ(node.state(), QProcess::Running);
    EXPECT_EQ(simOutput.find("expect FAILED"), std::string::npos) << diagnostics();
    EXPECT_EQ(simOutput.find("tnc: error"), std::string::npos) << diagnostics();
    // Eight streams were free for the flood; every other caller heard DM.
    const std::size_t taken = count(simOutput, " UA\n");
    EXPECT_LE(taken, 8u) << diagnostics();
    EXPECT_EQ(taken + count(simOutput, " DM\n"), 1000u) << diagnostics();
    const std::string log = logText();
    EXPECT_NE(log.find("link to N2CALL failed: "), std::string::npos) << log;
    EXPECT_EQ(count(log, "link to FL"), taken) << log;
    EXPECT_LT(after - before, 64 * 1024) << "resident memory " << before << " KiB, then " << after;
    std::printf("node resident memory: %ld KiB before the flood, %ld KiB after\n", before, after);
}

} // namespace
