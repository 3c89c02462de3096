// The setup core's Initialize and Check TNC Comm against tncsim, on a real pseudo-terminal
// reached through the device map and as the AGW modem program: success, each failure path, the
// port choice of single-port TNCs, the automatic initialization at start-up, the recovery and
// the stops that arrive inside waits.
#include "core/node_setup.h"

#include "support/core_rig.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

using namespace gw;

namespace {
// Real time run fast, so that a TNC that never answers costs milliseconds, not seconds.
class FastClock final : public Clock {
  public:
    FastClock() { m_timer.start(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    std::chrono::milliseconds elapsed() const override {
        return std::chrono::milliseconds(m_timer.elapsed() * 20);
    }

  private:
    QElapsedTimer m_timer;
};

class Initialize : public CoreRig<FastClock, QtEventPump> {
  protected:
    QProcess sim;
    std::string simOutput;
    std::string simAddress;
    // What the main window would show of the TNC and the server.
    std::string tncStatus;
    bool tncWorking = false;
    std::string serverShown;
    bool setupShown = false;

    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        settings.write("Client1", "CommPort", "5");
        settings.write("Client1", "MBOCall", "N0CALL");
        settings.write("Client1", "InitFilePath", dir.path().toStdString() + "/");
        settings.write("Client1", "Flow", "NONE");
    }
    void TearDown() override {
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            sim.waitForFinished(3000);
        }
        qunsetenv("XDG_CONFIG_HOME");
    }
    // tncsim on COM5 of the device map, or the AGW modem program or a KISS TCP server on a
    // loopback port (then simAddress is where it listens); returns once it is ready.
    void startSim(QStringList args) {
        const bool agw = args.contains("AGW") || args.contains("--kiss-tcp");
        if (!agw)
            args << "--link-com"
                 << "5";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path());
        sim.setProcessEnvironment(env);
        simOutput.clear();
        sim.start(QStringLiteral(TNCSIM_PATH), args);
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(simSays(agw ? " on 127.0.0.1:" : " as ")) << simOutput;
        const std::size_t at = simOutput.find("127.0.0.1:");
        if (agw) simAddress = simOutput.substr(at, simOutput.find('\n', at) - at);
    }
    bool simSays(const std::string& text) {
        for (int i = 0; i < 100 && simOutput.find(text) == std::string::npos; ++i) {
            sim.waitForReadyRead(100);
            simOutput += sim.readAllStandardOutput().toStdString();
        }
        return simOutput.find(text) != std::string::npos;
    }
    // The node up to the hand-over; startNode() hands over as the program does.
    void makeNode() {
        QObject::connect(&makeCore(), &NodeCore::tncStatusChanged,
                         [this](const std::string& text, bool working) {
                             tncStatus = text;
                             tncWorking = working;
                         });
        QObject::connect(
            core.get(), &NodeCore::serverLinkLoaded,
            [this](const std::string& server, const std::string&) { serverShown = server; });
        ASSERT_TRUE(startCore("1"));
        QObject::connect(setup.get(), &NodeSetup::setupOpened, [this] { setupShown = true; });
        QObject::connect(setup.get(), &NodeSetup::setupDone, [this] { setupShown = false; });
    }
    void startNode() {
        makeNode();
        core->handOver(*setup, *setup);
    }
    std::string logText() const {
        QFile file(dir.path() + "/N0CALL_1_" + QDate::currentDate().toString("MM") + ".log");
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
    }
};
} // namespace

TEST_F(Initialize, KantronicsSucceedsAndRunsOnPortOneOnly) {
    startSim({"--type", "KPC3"});
    settings.write("Client1", "Port2", "True");
    startNode();
    EXPECT_TRUE(setup->bPort1() && setup->bPort2());
    setup->Initialize();
    EXPECT_TRUE(core->lastInitOK()) << setup->progressText();
    EXPECT_EQ(settings.read("Client1", "Initialized", ""), "True");
    EXPECT_EQ(settings.read("Client1", "Port2", ""), "True") << "saved before the type decided";
    EXPECT_TRUE(setup->bPort1());
    EXPECT_FALSE(setup->bPort2());
    EXPECT_TRUE(setup->portOpen());
    EXPECT_EQ(tncStatus, "KPC3 OK on Comm5");
    EXPECT_EQ(tncWorking, true);
    EXPECT_EQ(core->radioLabel(1), "1/A");
    EXPECT_EQ(serverShown, "127.0.0.1");
    EXPECT_TRUE(core->hasLeftSetup());
    EXPECT_FALSE(setupShown);
    EXPECT_EQ(setup->progress(), NodeSetup::InitProgress::None);
    EXPECT_NE(logText().find("  KPC3 on Comm 5 initialized @ "), std::string::npos);
    EXPECT_TRUE(dialogs.shown().empty());
    setup->Initialize();
    EXPECT_EQ(settings.read("Client1", "Port2", ""), "False") << "the next save has port 1 only";
}

// The TNC's reset ends its links: the users still listed leave the table, and its rows, at once.
TEST_F(Initialize, InitializingAgainClosesTheUsersWhoseLinksWentWithIt) {
    startSim({"--type", "KPC3"});
    startNode();
    setup->Initialize();
    ASSERT_TRUE(core->lastInitOK()) << setup->progressText();
    core->StatusEvent("S1A*** CONNECTED to N1CALL");
    ASSERT_TRUE(core->streams()[1].inUse());
    std::vector<std::pair<int, bool>> rows;
    QObject::connect(
        core.get(), &NodeCore::streamChanged,
        [&rows](int index, const std::string&, bool inUse) { rows.emplace_back(index, inUse); });
    setup->Initialize();
    EXPECT_TRUE(core->lastInitOK()) << setup->progressText();
    EXPECT_FALSE(core->streams()[1].inUse());
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), std::make_pair(1, false));
    EXPECT_EQ(std::count(rows.begin(), rows.end(), std::make_pair(1, true)), 0);
    core->FlushLog();
    EXPECT_NE(logText().find("1/A: DISCONNECTED from N1CALL @ "), std::string::npos);
    EXPECT_NE(logText().find(" (TNC initialized)\r\n"), std::string::npos);
}

// An empty call sign is refused before anything is saved. Each instance saves in its own
// section, and the folder reaches the drivers with its closing "/".
TEST_F(Initialize, NoCallSignSavesNothingAndInstancesKeepTheirOwnSections) {
    startNode();
    setup->live().mboCall = " ";
    setup->Initialize();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Node Call Sign required");
    EXPECT_EQ(settings.read("Client1", "MBOCall", ""), "N0CALL");

    settings.write("Client2", "InitFilePath", "/srv/node");
    settings.write("Client2", "TNCType", "AGW"); // fails at once: nobody listens on port 1
    settings.write("Client2", "AGWAddress", "127.0.0.1:1");
    auto two = std::make_unique<NodeCore>(settings, clock, dialogs, queues);
    ASSERT_TRUE(two->startUp("2"));
    NodeSetup twoSetup(*two, *link, {settings, clock, dialogs, pump});
    two->handOver(twoSetup, twoSetup);
    EXPECT_EQ(twoSetup.dispatch().txtPath(), "/srv/node/");
    twoSetup.live().mboCall = "k4abc";
    twoSetup.Initialize();
    EXPECT_EQ(settings.read("Client2", "MBOCall", ""), "K4ABC");
    EXPECT_EQ(settings.read("Client1", "MBOCall", ""), "N0CALL");
}

TEST_F(Initialize, SwitchedOffTncFails) {
    startSim({"--type", "KPC3", "--off"});
    startNode();
    setup->Initialize();
    EXPECT_FALSE(core->lastInitOK());
    EXPECT_EQ(settings.read("Client1", "Initialized", ""), "False");
    const std::string progress = setup->progressText();
    EXPECT_EQ(progress.substr(progress.size() - 24), "\rINITIALIZATION FAILURE!");
    EXPECT_EQ(setup->progress(), NodeSetup::InitProgress::Failed);
    EXPECT_EQ(tncStatus, "KPC3 not Initialized");
    EXPECT_EQ(tncWorking, false);
    EXPECT_TRUE(setupShown);
    EXPECT_EQ(logText().find("initialized @"), std::string::npos);
    EXPECT_FALSE(setup->initRetryTimer().isActive()) << "with a window the operator decides";
}

TEST_F(Initialize, UnsupportedTypeWritesNoResult) {
    startSim({"--type", "KPC3"});
    startNode();
    setup->live().tncType = "kpc3";
    setup->Initialize();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Unsupported TNC! Make selection from List.");
    EXPECT_EQ(dialogs.shown()[0].icon, DialogIcon::None);
    EXPECT_EQ(settings.read("Client1", "Initialized", "absent"), "absent");
    EXPECT_EQ(settings.read("Client1", "TNCType", ""), "kpc3");
    EXPECT_FALSE(core->lastInitOK());
    EXPECT_TRUE(setup->portOpen()) << "the port stays open and polling stays on";
    EXPECT_TRUE(setup->dispatch().polling());
}

TEST_F(Initialize, PortThatCannotBeOpenedIsReportedAndFails) {
    QDir().mkpath(dir.path() + "/gullwick/devices");
    QFile::link(dir.path() + "/no-such-device", dir.path() + "/gullwick/devices/com5");
    startNode();
    setup->Initialize();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].title, "Port Error!");
    EXPECT_EQ(dialogs.shown()[0].text, "Error: -2147190494/Unable to open communications device");
    EXPECT_FALSE(core->lastInitOK());
    EXPECT_EQ(settings.read("Client1", "Initialized", "absent"), "absent");
    EXPECT_EQ(tncStatus, "KPC3 not Initialized");
    EXPECT_TRUE(setupShown);

    setup->CheckTncComm();
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[1].title, "Port Error!");
    EXPECT_EQ(setup->commCheck(), NodeSetup::CommCheck::None);
}

TEST_F(Initialize, CheckTncCommLeavesPortClosedAndNoDriver) {
    startSim({"--type", "TNC2", "--echo", "off"});
    startNode();
    setup->live().tncType = "TNC2";
    setup->CheckTncComm();
    EXPECT_EQ(setup->commCheck(), NodeSetup::CommCheck::Ok);
    EXPECT_FALSE(setup->portOpen());
    EXPECT_FALSE(setup->dispatch().polling());
    EXPECT_EQ(setup->dispatch().driver("TNC2"), nullptr);
    EXPECT_EQ(settings.read("Client1", "Initialized", "absent"), "absent");
}

TEST_F(Initialize, StartUpInitializesByItselfWhenLastInitializationSucceeded) {
    startSim({"--type", "KPC3"});
    settings.write("Client1", "Initialized", "True");
    startNode();
    EXPECT_TRUE(core->lastInitOK());
    EXPECT_TRUE(core->hasLeftSetup());
    EXPECT_FALSE(setupShown);
    EXPECT_EQ(tncStatus, "KPC3 OK on Comm5");
}

// Every wait lets events through: a second Initialize, a check or a stop that arrives inside
// a driver's wait must never replace or free the driver under it (run under ASan).
TEST_F(Initialize, TncCommandsAreRefusedWhileAnInitializationWaits) {
    startSim({"--type", "KPC3", "--off"});
    startNode();
    for (const int command : {1, 4}) {
        dialogs.clear();
        QTimer::singleShot(0, setup.get(), [this, command] {
            command == 1 ? setup->Initialize() : setup->CheckTncComm();
        });
        setup->Initialize();
        ASSERT_FALSE(dialogs.shown().empty()) << command;
        EXPECT_EQ(dialogs.shown()[0].title, "TNC Busy") << command;
        EXPECT_EQ(dialogs.shown()[0].text,
                  "The TNC is busy...try again when the current operation ends.");
        EXPECT_EQ(settings.read("Client1", "Initialized", ""), "False");
    }
}

namespace {
// Runs events until the main window's shutdown has ended (bounded).
bool runUntilEnded(NodeCore& main, int maxMs = 20000) {
    bool ended = false;
    QObject::connect(&main, &NodeCore::ended, [&ended] { ended = true; });
    QElapsedTimer timer;
    timer.start();
    while (!ended && timer.elapsed() < maxMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return ended;
}
} // namespace

TEST_F(Initialize, AStopDuringADisconnectWaitRunsAfterItAndGivesUpASilentRestore) {
    startSim({"--type", "KPC3"});
    settings.write("Client1", "EnableLog", "1");
    startNode();
    setup->Initialize();
    ASSERT_TRUE(core->lastInitOK());
    ASSERT_TRUE(setup->restoreChecked());
    // The TNC stops answering: the disconnect and every restore command wait in vain.
    ::kill(static_cast<pid_t>(sim.processId()), SIGSTOP);
    QTimer::singleShot(0, core.get(), [this] { core->requestStop(); });
    QElapsedTimer took;
    took.start();
    setup->SendDisconnect(1, "A");
    EXPECT_EQ(settings.read("Client1", "Active", "0").substr(0, 2), "20")
        << "the stop waits for the disconnect to return";
    ASSERT_TRUE(runUntilEnded(*core));
    // The first restore command's silence (10 s on this 20-times clock) and no more.
    EXPECT_LT(took.elapsed(), 3000) << logText();
    ::kill(static_cast<pid_t>(sim.processId()), SIGCONT);
    const std::string log = logText();
    EXPECT_NE(log.find("TNC did not answer: restoring given up @ "), std::string::npos) << log;
    EXPECT_NE(log.find(" closing @ "), std::string::npos);
    EXPECT_EQ(settings.read("Client1", "Active", ""), "0");
}

TEST_F(Initialize, AStopWhileTheCoreHandlesAReceivedLineRunsWhenTheHandlingEnds) {
    QFile script(dir.path() + "/user.txt");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    // Two frames in one read: the driver still holds the second when the first is handled.
    script.write("1A connect N1USR\n1A send hello\n1A wait 5000\n");
    script.close();
    // The user connects well after the initialization has ended.
    startSim({"--type", "KPC3", "--script", script.fileName(), "--start-after", "4000"});
    startNode();
    setup->Initialize();
    ASSERT_TRUE(core->lastInitOK());
    // The stop comes while the connect frame is being handled, inside the driver's SerialIn.
    core->setMonitoredStream(1);
    QObject::connect(core.get(), &NodeCore::followedLineAdded, core.get(),
                     [this] { core->requestStop(); });
    ASSERT_TRUE(runUntilEnded(*core));
    ASSERT_FALSE(core->monitor().followed().empty());
    EXPECT_EQ(core->monitor().followed().front().substr(0, 22), "1/A:  CONNECTED to N1U");
    EXPECT_EQ(settings.read("Client1", "Active", ""), "0");
}

TEST_F(Initialize, AStopDuringTheAutomaticInitializationIsNoFailure) {
    startSim({"--type", "KPC3", "--off"});
    settings.write("Client1", "Initialized", "True");
    makeNode();
    QTimer::singleShot(0, core.get(), [this] { core->requestStop(); });
    QElapsedTimer took;
    took.start();
    core->handOver(*setup, *setup);
    ASSERT_TRUE(runUntilEnded(*core));
    EXPECT_LT(took.elapsed(), 3000);
    EXPECT_EQ(settings.read("Client1", "Initialized", ""), "True");
    EXPECT_EQ(settings.read("Client1", "Active", ""), "0");
}

namespace {
// Runs events until `done` holds (bounded).
bool runUntil(const std::function<bool()>& done, int maxMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < maxMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}
} // namespace

// A USB TNC pulled out and plugged in again: its users are closed, the node watches for the
// same device name and initializes the TNC that appears behind it by itself.
TEST_F(Initialize, AnUnpluggedTncIsInitializedAgainWhenItsDeviceComesBack) {
    const auto userScript = [this](const char* call) {
        QFile script(dir.path() + "/" + call + ".txt");
        EXPECT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QByteArray("1A connect ") + call + "\n1A wait 60000\n");
        return script.fileName();
    };
    settings.write("Client1", "EnableLog", "1");
    startSim({"--type", "KPC3", "--script", userScript("N1USR"), "--start-after", "200"});
    startNode();
    setup->Initialize();
    ASSERT_TRUE(core->lastInitOK());
    ASSERT_TRUE(runUntil([this] { return core->streams()[1].inUse(); }));

    sim.kill();
    sim.waitForFinished(3000);
    ASSERT_TRUE(runUntil([this] { return setup->serialWatchTimer().isActive(); })) << logText();
    EXPECT_EQ(setup->serialWatchTimer().interval(), 3000);
    EXPECT_FALSE(core->streams()[1].inUse()) << "the user is disconnected";
    EXPECT_FALSE(setup->portOpen());
    setup->watchSerial();
    EXPECT_TRUE(setup->serialWatchTimer().isActive()) << "the device is still gone";

    startSim({"--type", "KPC3", "--script", userScript("N2USR"), "--start-after", "200"});
    setup->watchSerial();
    EXPECT_TRUE(core->lastInitOK());
    EXPECT_TRUE(setup->portOpen());
    EXPECT_FALSE(setup->serialWatchTimer().isActive());
    EXPECT_EQ(tncStatus, "KPC3 OK on Comm5");
    ASSERT_TRUE(runUntil([this] { return core->streams()[1].CallSign == "N2USR"; }));
    const std::string log = logText();
    EXPECT_NE(log.find("1/A: DISCONNECTED from N1USR @ "), std::string::npos) << log;
    EXPECT_NE(log.find("com5 to come back @ "), std::string::npos) << log;
    EXPECT_NE(log.find("com5 is back, initializing KPC3 again @ "), std::string::npos) << log;
    EXPECT_EQ(occurrences(log, "  KPC3 on Comm 5 initialized @ "), 2u) << log;
}

// A headless node started before its TNC was switched on comes up by itself.
TEST_F(Initialize, AHeadlessNodeRetriesAFailedStartUpInitializationUntilTheTncAnswers) {
    settings.write("Client1", "EnableLog", "1");
    settings.write("Client1", "Initialized", "True");
    startSim({"--type", "KPC3", "--off"});
    makeNode();
    setup->setUnattended(true);
    core->handOver(*setup, *setup);
    EXPECT_FALSE(core->lastInitOK());
    EXPECT_TRUE(setup->initRetryTimer().isActive());
    EXPECT_EQ(setup->initRetryTimer().interval(), 60000);
    EXPECT_EQ(settings.read("Client1", "Initialized", ""), "True") << "a restart still retries";
    setup->retryInitialize();
    EXPECT_FALSE(core->lastInitOK()) << "still off";

    sim.terminate();
    sim.waitForFinished(3000);
    startSim({"--type", "KPC3"});
    setup->retryInitialize();
    EXPECT_TRUE(core->lastInitOK()) << setup->progressText();
    EXPECT_FALSE(setup->initRetryTimer().isActive());
    EXPECT_EQ(tncStatus, "KPC3 OK on Comm5");
    EXPECT_TRUE(core->hasLeftSetup());
    const std::string log = logText();
    EXPECT_EQ(occurrences(log, "Retrying the initialization of KPC3 @ "), 2u) << log;
    EXPECT_EQ(occurrences(log, "  KPC3 on Comm 5 initialized @ "), 1u) << log;
}

TEST_F(Initialize, InitializeRegistersTheNodeAndRestoreUnregisters) {
    startSim({"--type", "AGW"});
    settings.write("Client1", "TNCType", "AGW");
    settings.write("Client1", "AGWAddress", simAddress);
    settings.write("Client1", "CommPort", "7"); // kept for the serial types, not opened
    startNode();
    setup->Initialize();
    ASSERT_TRUE(core->lastInitOK()) << setup->progressText();
    EXPECT_EQ(tncStatus, "AGW OK on " + simAddress);
    EXPECT_EQ(core->radioLabel(1), "1/A");
    EXPECT_EQ(core->radioLabel(10), "1/J");
    EXPECT_TRUE(setup->portOpen());
    EXPECT_FALSE(setup->serial().PortOpen());
    EXPECT_NE(logText().find("  AGW on " + simAddress + " initialized @ "), std::string::npos)
        << logText();
    EXPECT_EQ(settings.read("Client1", "CommPort", ""), "7");
    EXPECT_TRUE(simSays("tnc: registered N0CALL")) << simOutput;
    setup->Restore();
    EXPECT_TRUE(simSays("tnc: unregistered N0CALL")) << simOutput;
    EXPECT_FALSE(setup->portOpen());
}

// The check runs on what the operator has typed, before anything is saved.
TEST_F(Initialize, CheckTncCommTestsTheAddressTypedNotTheOneStored) {
    startSim({"--type", "AGW"});
    const std::string nobody = "127.0.0.1:1";
    settings.write("Client1", "TNCType", "AGW");
    settings.write("Client1", "AGWAddress", nobody);
    startNode();
    setup->live().agwAddress = simAddress;
    setup->CheckTncComm();
    EXPECT_EQ(setup->commCheck(), NodeSetup::CommCheck::Ok);
    EXPECT_EQ(settings.read("Client1", "AGWAddress", ""), nobody) << "nothing saved";

    settings.write("Client1", "AGWAddress", simAddress);
    setup->live().agwAddress = nobody;
    setup->CheckTncComm();
    EXPECT_EQ(setup->commCheck(), NodeSetup::CommCheck::Failed);
}

// A KISS TCP server: the check tries the address typed; Initialize sends the timing values;
// a server that goes away is reported once, reconnected and given them again.
TEST_F(Initialize, KissOverTcpChecksTheTypedAddressAndRidesOutARestart) {
    startSim({"--type", "KISS", "--kiss-tcp", "0"});
    const std::string nobody = "127.0.0.1:1";
    settings.write("Client1", "TNCType", "KISS");
    settings.write("Client1", "KISSAddress", nobody);
    startNode();
    setup->live().kiss.address = simAddress;
    setup->CheckTncComm();
    EXPECT_EQ(setup->commCheck(), NodeSetup::CommCheck::Ok);
    EXPECT_EQ(settings.read("Client1", "KISSAddress", ""), nobody) << "nothing saved";

    setup->Initialize();
    ASSERT_TRUE(core->lastInitOK()) << setup->progressText();
    EXPECT_EQ(tncStatus, "KISS OK on " + simAddress);
    EXPECT_FALSE(setup->serial().PortOpen());
    EXPECT_TRUE(simSays("tnc: kiss param FULLDUP 0 port 0")) << simOutput;

    const std::string port = simAddress.substr(simAddress.find(':') + 1);
    sim.terminate();
    sim.waitForFinished(3000);
    EXPECT_TRUE(waitUntil(pump, clock, std::chrono::seconds(20), [&] { return !tncWorking; }));
    EXPECT_EQ(tncStatus, "KISS lost on " + simAddress);
    startSim({"--type", "KISS", "--kiss-tcp", QString::fromStdString(port)});
    EXPECT_TRUE(waitUntil(pump, clock, std::chrono::seconds(60), [&] { return tncWorking; }));
    EXPECT_TRUE(simSays("tnc: kiss param FULLDUP 0 port 0")) << simOutput;
    const std::string log = logText();
    EXPECT_EQ(occurrences(log, "KISS connection to " + simAddress + " lost: "), 1u) << log;
    EXPECT_EQ(occurrences(log, "KISS connection to " + simAddress + " restored."), 1u) << log;
}
