// The IP check a new radio user receives, end to end: brevane pings the short-message server
// with the ping control it registers for itself, on loopback against smsd, and inside a
// private network namespace where the server's address has no route.
#include "smsd_process.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
constexpr const char* kScript = "1A connect N1CALL\n"
                                "1A expect SMS> 30\n"
                                "1A send B\n"
                                "1A expect-disconnect 30\n";

class IpCheckEndToEnd : public testing::Test {
  protected:
    QTemporaryDir dir;
    std::unique_ptr<gwtest::SmsdProcess> smsd;
    QProcess tncsim;
    QProcess node;
    std::string simOutput;

    QString config() const { return dir.path() + "/config"; }

    void SetUp() override {
        smsd = std::make_unique<gwtest::SmsdProcess>(QStringList{"--node", "N0CALL:SECRET"});
        ASSERT_TRUE(smsd->running()) << smsd->log();
        QDir().mkpath(dir.path() + "/data/gullwick");
        QFile banner(dir.path() + "/data/gullwick/banner.txt");
        ASSERT_TRUE(banner.open(QIODevice::WriteOnly));
        banner.write("Welcome to N0CALL\r\n");
    }
    void TearDown() override {
        for (QProcess* process : {&node, &tncsim}) {
            if (process->state() == QProcess::NotRunning) continue;
            process->kill();
            process->waitForFinished(3000);
        }
    }
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config());
        env.insert("XDG_DATA_HOME", dir.path() + "/data");
        env.insert("GULLWICK_SMS_PORT", QString::number(smsd->port()));
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        return env;
    }
    void writeSettings(const QString& serverAddress) {
        QSettings ini(config() + "/gullwick/SMS.ini", QSettings::IniFormat);
        ini.beginGroup("Client1");
        ini.setValue("CommPort", "1");
        ini.setValue("TNCType", "KPC3");
        ini.setValue("Flow", "NONE");
        ini.setValue("MBOCall", "N0CALL");
        ini.setValue("Password", "SECRET");
        ini.setValue("IPAddress", serverAddress);
        ini.setValue("IPType", "True");
        ini.setValue("Initialized", "True");
    }
    void startTnc() {
        QFile script(dir.path() + "/user.script");
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(kScript);
        script.close();
        tncsim.setProcessEnvironment(environment());
        tncsim.start(QStringLiteral(TNCSIM_PATH),
                     {"--type", "KPC3", "--script", script.fileName(), "--link-com", "1"});
        ASSERT_TRUE(tncsim.waitForStarted(5000));
        ASSERT_TRUE(waitForSim(" as ", 5000)) << simOutput;
    }
    // brevane headless; with `privateNetwork`, inside a namespace of loopback only where
    // 10.9.0.0/24 has no route.
    void startNode(bool privateNetwork) {
        node.setProcessEnvironment(environment());
        node.setProcessChannelMode(QProcess::MergedChannels);
        if (privateNetwork)
            node.start("unshare", {"-n", "sh", "-c",
                                   "ip link set lo up && ip route add unreachable 10.9.0.0/24 && "
                                   "exec \"$0\" --headless 1",
                                   QStringLiteral(BREVANE_PATH)});
        else
            node.start(QStringLiteral(BREVANE_PATH), {"--headless", "1"});
        ASSERT_TRUE(node.waitForStarted(5000));
    }
    bool waitForSim(const std::string& text, int ms) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            simOutput += tncsim.readAllStandardOutput().toStdString();
            if (simOutput.find(text) != std::string::npos) return true;
            tncsim.waitForReadyRead(50);
        }
        simOutput += tncsim.readAllStandardOutput().toStdString();
        return simOutput.find(text) != std::string::npos;
    }
    std::string received() const {
        std::string all;
        std::size_t at = 0;
        const std::string mark = "1A <<< ";
        while ((at = simOutput.find(mark, at)) != std::string::npos) {
            const std::size_t end = simOutput.find('\n', at);
            all += simOutput.substr(at + mark.size(), end - at - mark.size());
            at = end;
        }
        return all;
    }
    std::string registeredLibrary() const {
        QSettings classes(config() + "/gullwick/classes.ini", QSettings::IniFormat);
        for (const QString& key : classes.allKeys())
            if (key.contains("InprocServer32")) return classes.value(key).toString().toStdString();
        return "";
    }
};

TEST_F(IpCheckEndToEnd, ANewUserHearsTheLinkVerifiedAgainstSmsdOnLoopback) {
    writeSettings("127.0.0.1");
    startTnc();
    startNode(false);
    ASSERT_TRUE(waitForSim("1A expect-disconnect ok", 60000))
        << simOutput << node.readAll().toStdString();
    EXPECT_EQ(received(), "Welcome to N0CALL\\r\\rIP connection verified.\\rSMS>");
    EXPECT_NE(registeredLibrary().find("libping.so"), std::string::npos)
        << "brevane registered the ping library it found";
}

TEST_F(IpCheckEndToEnd, AServerAddressWithoutARouteFailsTheCheck) {
    if (QProcess::execute("unshare", {"-n", "true"}) != 0)
        GTEST_SKIP() << "needs root and unshare to make a private network namespace";
    writeSettings("10.9.0.1");
    startTnc();
    startNode(true);
    ASSERT_TRUE(waitForSim("1A expect-disconnect ok", 60000))
        << simOutput << node.readAll().toStdString();
    EXPECT_EQ(received(),
              "Welcome to N0CALL\\r"
              "\\rIP connection failed. Only Help, Info & Bye commands available.\\rSMS>");
}

} // namespace
