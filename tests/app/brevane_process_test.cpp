// The brevane program as an operator or a service manager runs it: instance refusals, a
// second copy of a running instance (headless, and with windows until a stop), clean stops by
// SIGTERM, SIGINT and SIGHUP, a start at once after SIGKILL, the settings check and the headless
// node that cannot initialize, and a headless node that loads no widget or GUI library; the web
// console's password set from standard input.
#include "setup/web_password.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

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
    // Settings a headless node can start with: a modem program that is not there yet, which
    // the node keeps trying; the web page off, so that no test takes an installed node's port.
    void writeStartableSettings(const QString& instance) const {
        QSettings settings(ini(), QSettings::IniFormat);
        const QString section = "Client" + instance + "/";
        settings.setValue(section + "WebServer", "False");
        settings.setValue(section + "TNCType", "AGW");
        settings.setValue(section + "AGWAddress", "127.0.0.1:1");
        settings.setValue(section + "MBOCall", "N0CALL");
        settings.setValue(section + "Password", "SECRET");
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
    writeStartableSettings("3");
    QProcess first;
    configure(first);
    first.setArguments({"--headless", "3"});
    first.start();
    ASSERT_TRUE(first.waitForStarted(10000));
    ASSERT_TRUE(waitForHeartbeat("Client3/Active"));
    QFile maps(QString("/proc/%1/maps").arg(first.processId()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    EXPECT_TRUE(mapped.contains("libQt6Core")) << "the maps are the node's";
    EXPECT_FALSE(mapped.contains("libQt6Widgets") || mapped.contains("libQt6Gui"))
        << "a headless node loads no widget or GUI library";

    QProcess second;
    configure(second);
    second.setArguments({"--headless", "3"});
    second.start();
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_NE(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().contains("Brevane Instance 3 already running!"));

    // The windows' copy shows its refusal in a box, which a stop closes; the running
    // instance's heartbeat stays its own.
    QProcess windows;
    configure(windows);
    QProcessEnvironment env = windows.processEnvironment();
    env.insert("DISPLAY", ":0");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    windows.setProcessEnvironment(env);
    windows.setArguments({"3"});
    windows.start();
    EXPECT_FALSE(windows.waitForFinished(1500)) << "the box waits for the operator";
    ::kill(static_cast<pid_t>(windows.processId()), SIGTERM);
    EXPECT_TRUE(windows.waitForFinished(10000));
    EXPECT_NE(windows.exitCode(), 0);
    EXPECT_NE(settingValue("Client3/Active"), "0");

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
    writeStartableSettings("2");

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
    for (const char* name :
         {"help.txt", "info.txt", "KPC3.aps", "KAM.aps", "TNC2.aps", "MFJ1274.aps"})
        EXPECT_TRUE(QFile::exists(folder + name)) << name;
    QFile tnc2(folder + "TNC2.aps");
    ASSERT_TRUE(tnc2.open(QIODevice::ReadOnly));
    const QByteArray commands = tnc2.readAll();
    for (const char* needed :
         {"\nECHO OFF\n", "\nAUTOLF OFF\n", "\nSTREAMSW $7C\n", "\nSENDPAC $01\n"})
        EXPECT_TRUE(commands.contains(needed)) << needed;
}

TEST_F(BrevaneProcess, WebPasswordFromStandardInputIsStoredAsAHashThatVerifies) {
    const auto setPassword = [this](const QStringList& args, const QByteArray& input) {
        QProcess process;
        configure(process);
        process.setArguments(QStringList{"--web-password"} + args);
        process.start();
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(20000));
        return std::make_pair(process.exitCode(),
                              process.readAllStandardOutput() + process.readAllStandardError());
    };
    EXPECT_EQ(setPassword({"1"}, "short\n").first, 1);
    EXPECT_EQ(setPassword({"11"}, "correct horse battery\n").first, 2);
    EXPECT_FALSE(QFile::exists(ini()));

    const auto [status, output] = setPassword({"1"}, "correct horse battery\r\nignored\n");
    EXPECT_EQ(status, 0) << output.toStdString();
    EXPECT_EQ(output, "Web console password set for instance 1.\n");
    const std::string stored = settingValue("Client1/WebPassword").toStdString();
    EXPECT_TRUE(gw::verifyWebPassword("correct horse battery", stored)) << stored;
}

TEST_F(BrevaneProcess, AStartSaysWhenThePageWouldCrowdTheRadioSideOrItsPasswordIsDamaged) {
    writeStartableSettings("3");
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    {
        QSettings settings(ini(), QSettings::IniFormat);
        settings.setValue("Client3/WebServer", "True");
        settings.setValue("Client3/WebPort", port);
        settings.setValue("Client3/WebPassword", "garbage");
    }
    QProcess check;
    configure(check);
    check.setArguments({"--check", "3"});
    check.start();
    ASSERT_TRUE(check.waitForFinished(20000));
    EXPECT_TRUE(check.readAllStandardError().contains(
        "WebPassword: the stored web console password is damaged; set it again with: brevane "
        "--web-password 3"));

    // 150 descriptors leave 22 for the page beside the radio side's 128.
    QProcess node;
    configure(node);
    node.setProcessChannelMode(QProcess::MergedChannels);
    node.setProgram("prlimit");
    node.setArguments({"--nofile=150:150", BREVANE_PATH, "--headless", "3"});
    node.start();
    ASSERT_TRUE(node.waitForStarted(10000));
    ASSERT_TRUE(waitForHeartbeat("Client3/Active"));
    ::kill(static_cast<pid_t>(node.processId()), SIGTERM);
    ASSERT_TRUE(node.waitForFinished(20000));
    const QByteArray output = node.readAll();
    EXPECT_TRUE(output.contains("Web page: WebMaxConnections=64 leaves the radio side too few of "
                                "the node's 150 file descriptors (it keeps 128); raise LimitNOFILE "
                                "or lower WebMaxConnections; the page takes at most 22 "
                                "connections"))
        << output.toStdString();
    EXPECT_TRUE(output.contains("Web console: the stored password (WebPassword) is damaged"));
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
    void start(const QString& instance, const QString& com, QStringList simArgs,
               bool initialized = true) {
        QSettings settings(ini(), QSettings::IniFormat);
        const QString section = "Client" + instance + "/";
        settings.setValue(section + "WebServer", "False");
        settings.setValue(section + "CommPort", com);
        settings.setValue(section + "Flow", "NONE");
        settings.setValue(section + "MBOCall", "N0CALL");
        settings.setValue(section + "Password", "SECRET");
        settings.setValue(section + "InitFilePath", folder());
        settings.setValue(section + "EnableLog", "1");
        if (initialized) settings.setValue(section + "Initialized", "True");
        settings.sync();
        QDir().mkpath(folder());

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        sim.setProcessEnvironment(env);
        sim.start(TNCSIM_PATH, simArgs << "--type"
                                       << "KPC3"
                                       << "--link-com" << com);
        ASSERT_TRUE(sim.waitForStarted(5000));
        QByteArray out;
        for (int i = 0; i < 100 && !out.contains(" as "); ++i) {
            sim.waitForReadyRead(100);
            out += sim.readAllStandardOutput();
        }
        ASSERT_TRUE(out.contains(" as ")) << out.toStdString();

        startNode(instance);
    }
    void startNode(const QString& instance) {
        configure(node);
        node.setArguments({"--headless", instance});
        node.start();
        ASSERT_TRUE(node.waitForStarted(10000));
        ASSERT_TRUE(waitForHeartbeat("Client" + instance + "/Active"));
    }
    // Waits (bounded) until the log holds `count` initializations.
    bool waitForInitialized(const QString& instance, int count) const {
        for (int i = 0; i < 300; ++i) {
            if (logText(instance).count(" initialized @ ") >= count) return true;
            QThread::msleep(50);
        }
        return false;
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

TEST_F(StoppedNode, AKilledNodeStartsAgainAtOnceAndAHangUpEndsItCleanly) {
    // Never initialized before: a headless node with complete settings does it by itself.
    start("6", "8", {}, false);
    ASSERT_TRUE(waitForInitialized("6", 1)) << logText("6").toStdString();
    node.kill(); // SIGKILL: no shutdown, the heartbeat stays in the settings
    ASSERT_TRUE(node.waitForFinished(10000));
    EXPECT_NE(settingValue("Client6/Active"), "0");

    QElapsedTimer restart;
    restart.start();
    startNode("6");
    ASSERT_TRUE(waitForInitialized("6", 2)) << logText("6").toStdString();
    std::printf("start after SIGKILL: initialized after %lld ms\n", restart.elapsed());
    ::kill(static_cast<pid_t>(node.processId()), SIGHUP);
    ASSERT_TRUE(node.waitForFinished(20000));
    EXPECT_EQ(node.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(node.exitCode(), 0);
    EXPECT_TRUE(logText("6").trimmed().section("\r\n", -1).contains(" closing @ "))
        << logText("6").toStdString();
    EXPECT_EQ(settingValue("Client6/Active"), "0");
}

namespace {
// brevane --check, and a headless start, on settings written case by case.
class SettingsCheck : public BrevaneProcess {
  protected:
    struct Outcome {
        int status = -1;
        QString out;
        QString err;
    };
    Outcome run(const QStringList& arguments) {
        QProcess process;
        configure(process);
        process.setArguments(arguments);
        process.start();
        Outcome outcome;
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished(5000);
            return outcome;
        }
        outcome.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        outcome.err = QString::fromLocal8Bit(process.readAllStandardError());
        return outcome;
    }
    void set(const QString& key, const QString& value) {
        QSettings settings(ini(), QSettings::IniFormat);
        settings.setValue("Client1/" + key, value);
    }
};
} // namespace

TEST_F(SettingsCheck, EachProblemIsReportedInWordsAndOnlyCompleteSettingsPass) {
    // The installed sample as it comes: the call sign and the password are to be filled in.
    QDir().mkpath(dir.path() + "/config/gullwick");
    ASSERT_TRUE(QFile::copy(SAMPLE_SETTINGS, ini()));
    QFile::setPermissions(ini(), QFile::ReadOwner | QFile::WriteOwner);
    const Outcome sample = run({"--check"});
    EXPECT_EQ(sample.status, 1);
    EXPECT_EQ(sample.err.count("\n"), 2) << sample.err.toStdString();
    EXPECT_TRUE(sample.err.contains("instance 1: MBOCall: Node Call Sign required."))
        << sample.err.toStdString();
    EXPECT_TRUE(sample.err.contains("instance 1: Password: no node password"))
        << sample.err.toStdString();

    const QString folder = dir.path() + "/files";
    QDir().mkpath(folder);
    set("MBOCall", "n0call");
    set("Password", "SECRET");
    set("InitFilePath", folder);
    const Outcome complete = run({"--check", "1"});
    EXPECT_EQ(complete.status, 0) << complete.err.toStdString();
    EXPECT_TRUE(complete.out.contains("the settings in " + ini() + " [Client1] are complete"))
        << complete.out.toStdString();
    EXPECT_TRUE(complete.err.isEmpty()) << complete.err.toStdString();

    const QString file = dir.path() + "/a-file";
    QFile(file).open(QIODevice::WriteOnly);
    const struct {
        const char* key;
        QString value;
        QString words;
    } cases[] = {
        {"TNCType", "KPC5", "TNCType: Unsupported TNC! \"KPC5\" is none of KPC1,"},
        {"TNCType", "KPC\x1b[2J", "TNCType: Unsupported TNC! \"KPC\\x1B[2J\" is none"},
        {"AGWAddress", "localhost", "AGWAddress: AGW address \"localhost\" is not host:port."},
        {"MBOCall", "N0 CALL", "MBOCall: \"N0 CALL\" is not a call sign"},
        {"IPPort", "87730", "IPPort: \"87730\" is not a TCP port (1 to 65535)."},
        {"InitFilePath", dir.path() + "/none",
         "the file folder \"" + dir.path() + "/none\" does not exist."},
        {"InitFilePath", file, "the file folder \"" + file + "\" is not a folder."},
    };
    for (const auto& bad : cases) {
        QSettings settings(ini(), QSettings::IniFormat);
        const QVariant good = settings.value(QString("Client1/") + bad.key);
        settings.setValue(QString("Client1/") + bad.key, bad.value);
        settings.sync();
        const Outcome outcome = run({"--check"});
        EXPECT_EQ(outcome.status, 1) << bad.key;
        EXPECT_TRUE(outcome.err.contains(bad.words)) << outcome.err.toStdString();
        if (good.isValid())
            settings.setValue(QString("Client1/") + bad.key, good);
        else
            settings.remove(QString("Client1/") + bad.key);
    }
    // Type KISS: its own values, and a call sign that AX.25 can carry.
    set("TNCType", "KISS");
    set("KISSAddress", "localhost");
    set("KISSWindow", "9");
    set("MBOCall", "N0CALL-77");
    const Outcome kiss = run({"--check"});
    EXPECT_EQ(kiss.status, 1);
    for (const char* words : {"KISSAddress: \"localhost\" is not host:port",
                              "KISSWindow: \"9\" is not a whole number from 1 to 7 frames.",
                              "MBOCall: \"N0CALL-77\" is not an AX.25 call sign"})
        EXPECT_TRUE(kiss.err.contains(words)) << kiss.err.toStdString();
    set("MBOCall", "n0call");
    // A serial TNC on a port with no device behind it.
    set("TNCType", "KPC3");
    set("CommPort", "42");
    const Outcome device = run({"--check"});
    EXPECT_EQ(device.status, 1);
    EXPECT_TRUE(
        device.err.contains("CommPort: the serial device /dev/ttyS41 (COM42) does not exist"))
        << device.err.toStdString();
    // A TNC2 start-up file that asks for more users than the node serves on a TNC2 is noted.
    set("TNCType", "TNC2");
    QFile startup(folder + "/TNC2.aps");
    ASSERT_TRUE(startup.open(QIODevice::WriteOnly));
    startup.write("ECHO OFF\r\n; USERS 9 was the old choice\r\nUSERS 4 ; callers\r\n");
    startup.close();
    const Outcome tnc2 = run({"--check"});
    EXPECT_TRUE(tnc2.out.contains("instance 1: note: TNCType TNC2: the start-up file \"" + folder +
                                  "/TNC2.aps\" sets USERS \"4\"; the node sets USERS 1"))
        << tnc2.out.toStdString();
    EXPECT_EQ(tnc2.out.count("note:"), 1) << tnc2.out.toStdString();
    const Outcome badInstance = run({"--check", "12"});
    EXPECT_EQ(badInstance.status, 2);
    EXPECT_TRUE(badInstance.err.contains("Only Numeric Instance parameters 1-10 are permitted."));
}

TEST_F(SettingsCheck, AHeadlessNodeThatCannotInitializeEndsWithTheSameWordsAsErrors) {
    set("TNCType", "KPC5");
    // Under systemd every line of the refusal reaches the journal at error priority.
    qputenv("JOURNAL_STREAM", "8:12345");
    const Outcome ended = run({"--headless", "1"});
    qunsetenv("JOURNAL_STREAM");
    EXPECT_EQ(ended.status, 78) << ended.err.toStdString();
    for (const char* words :
         {"MBOCall: Node Call Sign required.", "Password: no node password",
          "TNCType: Unsupported TNC!", "cannot initialize with the settings in"})
        EXPECT_TRUE(ended.err.contains(words)) << words << "\n" << ended.err.toStdString();
    for (const QString& line : ended.err.split('\n', Qt::SkipEmptyParts))
        EXPECT_TRUE(line.startsWith("<3>")) << line.toStdString();
    EXPECT_EQ(settingValue("Client1/Active"), "0") << "the instance is freed";
}

TEST(Programs, HelpAndVersionAnswerAndEnd) {
    const QString version = QStringLiteral(GULLWICK_VERSION);
    const struct {
        const char* program;
        QStringList arguments;
        QString words;
    } cases[] = {
        {BREVANE_PATH, {"--help"}, "usage: brevane [--headless] [instance]"},
        {BREVANE_PATH, {"--version"}, "brevane (Gullwick) " + version + "\n"},
        {TNCSIM_PATH, {"--help"}, "usage: tncsim [--type KPC3|KPC9612|KAM|TNC2]"},
        {TNCSIM_PATH, {"--version"}, "tncsim (Gullwick) " + version + "\n"},
        {TNCSIM_PATH, {"--type", "AGW", "--help"}, "  --agw-port N"},
        {TNCSIM_PATH, {"--type", "AGW", "--version"}, "tncsim (Gullwick) " + version + "\n"},
#ifdef SMSD_PATH
        {SMSD_PATH, {"--help"}, "--max-connections <count>"},
        {SMSD_PATH, {"--version"}, "smsd " + version + "\n"},
#endif
#ifdef PINGREG_PATH
        {PINGREG_PATH, {"--help"}, "pingreg --ping HOST"},
        {PINGREG_PATH, {"--version"}, "pingreg (Gullwick) " + version + "\n"},
#endif
    };
    for (const auto& call : cases) {
        const std::string name = call.program + (" " + call.arguments.join(' ')).toStdString();
        QProcess process;
        process.start(call.program, call.arguments);
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
            ADD_FAILURE() << name << " did not end";
            continue;
        }
        EXPECT_EQ(process.exitCode(), 0) << name;
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        EXPECT_TRUE(out.contains(call.words)) << name << "\n" << out.toStdString();
    }
    QProcess unknown;
    unknown.start(BREVANE_PATH, {"--bogus"});
    ASSERT_TRUE(unknown.waitForFinished(10000));
    EXPECT_EQ(unknown.exitCode(), 2);
    EXPECT_TRUE(unknown.readAllStandardError().contains("brevane: unknown option --bogus"));
}
