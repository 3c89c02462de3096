// The brevane program as an operator or a service manager runs it: instance refusals,
// a second copy of a running instance, and a clean stop by SIGTERM.
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <csignal>
#include <cstdio>

namespace {
class BrevaneProcess : public testing::Test {
protected:
    QTemporaryDir dir;
    QString ini() const { return dir.path() + "/config/gullwick/SMS.ini"; }

    void configure(QProcess& process) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.insert("XDG_DATA_HOME", dir.path() + "/data");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        process.setProcessEnvironment(env);
        process.setProgram(BREVANE_PATH);
    }
    QString settingValue(const QString& key) const {
        QSettings settings(ini(), QSettings::IniFormat);
        return settings.value(key).toString();
    }
    // Waits (bounded) until the running instance has written its heartbeat.
    bool waitForHeartbeat(const QString& key) const {
        for (int i = 0; i < 200; ++i) {
            if (!settingValue(key).isEmpty() && settingValue(key) != "0") return true;
            QThread::msleep(25);
        }
        return false;
    }
};
} // namespace

TEST_F(BrevaneProcess, BadInstanceParametersAreRefusedAndNothingIsWritten) {
    for (const QString arg : {"11", "0", "-1", "x"}) {
        QProcess process;
        configure(process);
        process.setArguments({"--headless", arg});
        process.start();
        ASSERT_TRUE(process.waitForFinished(20000)) << arg.toStdString();
        EXPECT_NE(process.exitCode(), 0) << arg.toStdString();
        EXPECT_TRUE(process.readAllStandardError().contains(
            "Only Numeric Instance parameters 1-10 are permitted."));
    }
    EXPECT_FALSE(QFile::exists(ini()));
}

TEST_F(BrevaneProcess, SecondCopyIsRefusedAndCleanStopFreesTheInstance) {
    QProcess first;
    configure(first);
    first.setArguments({"--headless", "3"});
    first.start();
    ASSERT_TRUE(first.waitForStarted(10000));
    ASSERT_TRUE(waitForHeartbeat("Client3/Active"));

    QProcess second;
    configure(second);
    second.setArguments({"--headless", "3"});
    second.start();
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_NE(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().contains("Brevane Instance 3 already running!"));

    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(20000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(settingValue("Client3/Active"), "0");

    QProcess again;
    configure(again);
    again.setArguments({"--headless", "3"});
    again.start();
    ASSERT_TRUE(again.waitForStarted(10000));
    ASSERT_TRUE(waitForHeartbeat("Client3/Active"));
    ::kill(static_cast<pid_t>(again.processId()), SIGINT);
    ASSERT_TRUE(again.waitForFinished(20000));
    EXPECT_EQ(again.exitCode(), 0);
}

TEST_F(BrevaneProcess, FirstStartInstallsSamplesWithoutTouchingTheOperatorsFiles) {
    const QString folder = dir.path() + "/data/gullwick/";
    QDir().mkpath(folder);
    QFile own(folder + "banner.txt");
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write("My own greeting\r\n");
    own.close();

    QProcess node;
    configure(node);
    node.setArguments({"--headless", "2"});
    node.start();
    ASSERT_TRUE(node.waitForStarted(10000));
    ASSERT_TRUE(waitForHeartbeat("Client2/Active"));
    ::kill(static_cast<pid_t>(node.processId()), SIGTERM);
    ASSERT_TRUE(node.waitForFinished(20000));

    QFile banner(folder + "banner.txt");
    ASSERT_TRUE(banner.open(QIODevice::ReadOnly));
    EXPECT_EQ(banner.readAll(), "My own greeting\r\n");
    for (const char* name : {"help.txt", "info.txt", "KPC3.aps", "KAM.aps", "TNC2.aps", "MFJ1274.aps"})
        EXPECT_TRUE(QFile::exists(folder + name)) << name;
    QFile tnc2(folder + "TNC2.aps");
    ASSERT_TRUE(tnc2.open(QIODevice::ReadOnly));
    const QByteArray commands = tnc2.readAll();
    for (const char* needed : {"\nECHO OFF\n", "\nAUTOLF OFF\n", "\nSTREAMSW $7C\n", "\nSENDPAC $01\n"})
        EXPECT_TRUE(commands.contains(needed)) << needed;
}

namespace {
// A node set up to initialize by itself against tncsim on COM `com`, restoring at shutdown.
class StoppedNode : public BrevaneProcess {
protected:
    QProcess sim;
    QProcess node;
    QString folder() const { return dir.path() + "/data/gullwick/"; }

    void TearDown() override {
        for (QProcess* process : {&node, &sim})
            if (process->state() != QProcess::NotRunning) {
                ::kill(static_cast<pid_t>(process->processId()), SIGCONT);
                process->kill();
                process->waitForFinished(5000);
            }
    }
    void start(const QString& instance, const QString& com, QStringList simArgs) {
        QSettings settings(ini(), QSettings::IniFormat);
        const QString section = "Client" + instance + "/";
        settings.setValue(section + "CommPort", com);
        settings.setValue(section + "Flow", "NONE");
        settings.setValue(section + "MBOCall", "N0CALL");
        settings.setValue(section + "InitFilePath", folder());
        settings.setValue(section + "EnableLog", "1");
        settings.setValue(section + "Initialized", "True");
        settings.sync();
        QDir().mkpath(folder());

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        sim.setProcessEnvironment(env);
        sim.start(TNCSIM_PATH, simArgs << "--type" << "KPC3" << "--link-com" << com);
        ASSERT_TRUE(sim.waitForStarted(5000));
        QByteArray out;
        for (int i = 0; i < 100 && !out.contains(" as "); ++i) {
            sim.waitForReadyRead(100);
            out += sim.readAllStandardOutput();
        }
        ASSERT_TRUE(out.contains(" as ")) << out.toStdString();

        configure(node);
        node.setArguments({"--headless", instance});
        node.start();
        ASSERT_TRUE(node.waitForStarted(10000));
        ASSERT_TRUE(waitForHeartbeat(section + "Active"));
    }
    QString logText(const QString& instance) const {
        QFile file(folder() + "N0CALL_" + instance + "_" + QDate::currentDate().toString("MM") +
                   ".log");
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    }
    // SIGTERM as a service manager sends it; the milliseconds until the node has ended.
    qint64 stop() {
        QElapsedTimer took;
        took.start();
        ::kill(static_cast<pid_t>(node.processId()), SIGTERM);
        if (!node.waitForFinished(60000)) return -1;
        return took.elapsed();
    }
};
} // namespace

TEST_F(StoppedNode, AStopDuringTheStartUpInitializationEndsTheNodeAndKeepsInitialized) {
    start("4", "6", {"--off"});
    QThread::msleep(300); // inside the driver's waits for a TNC that never answers
    const qint64 took = stop();
    ASSERT_GE(took, 0) << "the node never ended";
    EXPECT_LT(took, 10000);
    std::printf("stop during start-up initialization: ended after %lld ms\n", took);
    EXPECT_EQ(node.exitCode(), 0);
    EXPECT_EQ(settingValue("Client4/Initialized"), "True");
    EXPECT_EQ(settingValue("Client4/Active"), "0");
    EXPECT_TRUE(logText("4").contains(" closing @ ")) << logText("4").toStdString();
}

TEST_F(StoppedNode, AStopWithATncSilentAtRestoreEndsWellInsideTheUnitsTimeout) {
    start("5", "7", {});
    for (int i = 0; i < 200 && !logText("5").contains(" initialized @ "); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(logText("5").contains(" initialized @ ")) << logText("5").toStdString();
    ::kill(static_cast<pid_t>(sim.processId()), SIGSTOP);
    const qint64 took = stop();
    ASSERT_GE(took, 0) << "the node never ended";
    std::printf("stop with a silent TNC at restore: ended after %lld ms\n", took);
    EXPECT_LT(took, 20000);
    const QString log = logText("5");
    EXPECT_TRUE(log.contains("TNC did not answer: restoring given up @ ")) << log.toStdString();
    EXPECT_TRUE(log.trimmed().section("\r\n", -1).contains(" closing @ ")) << log.toStdString();
    EXPECT_EQ(settingValue("Client5/Active"), "0");
}
