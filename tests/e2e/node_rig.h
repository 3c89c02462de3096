// The whole node as separate processes for end-to-end tests: brevane headless, smsd on an
// ephemeral 127.0.0.1 port and tncsim on a pseudo-terminal behind the COM1 device map, with
// settings and data in a temporary folder.
#pragma once

#include "smsd_process.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace gwtest {

class NodeRig : public testing::Test {
  protected:
    QTemporaryDir dir;
    std::unique_ptr<SmsdProcess> smsd;
    QProcess tncsim;
    QProcess node;
    std::string simOutput;

    QString config() const { return dir.path() + "/config"; }
    QString data() const { return dir.path() + "/data/gullwick/"; }

    // Starts smsd with `arguments` and gives the node its own greeting.
    void startServer(const QStringList& arguments) {
        smsd = std::make_unique<SmsdProcess>(arguments);
        ASSERT_TRUE(smsd->running()) << smsd->log();
        QDir().mkpath(data());
        QFile banner(data() + "banner.txt");
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
    // Instance 1 on COM1, initialized at start-up, node N0CALL with password SECRET; the web
    // page off, so that no test takes an installed node's port.
    void writeSettings(const QString& type, const QString& serverAddress) {
        QSettings ini(config() + "/gullwick/SMS.ini", QSettings::IniFormat);
        ini.beginGroup("Client1");
        ini.setValue("WebServer", "False");
        ini.setValue("CommPort", "1");
        ini.setValue("TNCType", type);
        ini.setValue("Flow", "NONE");
        ini.setValue("MBOCall", "N0CALL");
        ini.setValue("Password", "SECRET");
        ini.setValue("IPAddress", serverAddress);
        ini.setValue("IPType", "True");
        ini.setValue("Initialized", "True");
    }
    // tncsim with its radio users' `script`, linked as COM1.
    void startTnc(QStringList args, const char* script) {
        QFile file(dir.path() + "/user.script");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(script);
        file.close();
        args << "--script" << file.fileName() << "--link-com"
             << "1";
        tncsim.setProcessEnvironment(environment());
        tncsim.start(QStringLiteral(TNCSIM_PATH), args);
        ASSERT_TRUE(tncsim.waitForStarted(5000));
        ASSERT_TRUE(waitForSim(" as ", 5000)) << simOutput;
    }
    // brevane headless; with `privateNetwork`, inside a namespace of loopback only where
    // 10.9.0.0/24 has no route.
    void startNode(bool privateNetwork = false) {
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
    // Everything radio user 1A received, joined, with CR shown as tncsim shows it ("\r").
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
};

} // namespace gwtest
