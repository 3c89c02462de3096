// The node core driven through its events and ticks with fakes and a fake clock:
// start-up refusals, connect and disconnect frames, idle and hang-up ticks, monitor, shutdown.
#include "core/node_core.h"

#include "main_fixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace gw;
using namespace gw::test;

TEST_F(NodeCoreTest, StartUpWritesHeartbeatAndHandsOverToSetup) {
    EXPECT_EQ(settings.read("Client1", "Active", ""), heartbeatText(clock.now()));
    EXPECT_EQ(setup.calls, std::vector<std::string>{"loadSetup"});
}

TEST(NodeCoreStartUp, RefusalsShowCriticalMessageAndWriteNothing) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/SMS.ini";
    auto settings = SettingsStore::atFile(path);
    FakeClock clock;
    RecordingDialogs dialogs;
    ServerQueues queues;
    {
        NodeCore core(settings, clock, dialogs, queues);
        EXPECT_FALSE(core.startUp("11"));
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].icon, DialogIcon::Critical);
    EXPECT_EQ(dialogs.shown()[0].title, "Instance Parameter Error!");

    // A copy that died a moment ago left its heartbeat; its lock went with it.
    settings.write("Client3", "Active", generalDateTime(clock.now().addSecs(-5)));
    settings.write("Client3", "Initialized", "True");
    NodeCore third(settings, clock, dialogs, queues);
    EXPECT_TRUE(third.startUp("3"));
    EXPECT_TRUE(third.lastInitOK());
    FakeRadio radio;
    FakeSetup setup;
    third.handOver(radio, setup);
    EXPECT_EQ(setup.calls, std::vector<std::string>{"loadSetup+initialize"});
}

TEST_F(NodeCoreTest, ConnectOpensEntryGreetsChecksAndLogs) {
    core.setMonitoredStream(1);
    core.StatusEvent("S1A*** CONNECTED to N0CALL");
    const StreamRecord& entry = core.streams()[1];
    EXPECT_EQ(entry.IdleMinutes, 1);
    EXPECT_EQ(entry.CallSign, "N0CALL");
    EXPECT_EQ(entry.StreamID, "A");
    EXPECT_EQ(core.streamLabel(1), "1/A       N0CALL");
    ASSERT_EQ(radio.files.size(), 1u);
    EXPECT_EQ(radio.files[0].text, "banner.txt");
    EXPECT_EQ(radio.allData(), "\rIP connection verified.\rSMS>");
    EXPECT_EQ(core.serverState(), ServerState::Verified);
    EXPECT_EQ(monitorItems(), std::vector<std::string>{"1/A:  CONNECTED to N0CALL @ " + stamp()});
    EXPECT_EQ(logText(), "1/A: CONNECTED to N0CALL @ " + stamp() + "\r\n");
}

TEST_F(NodeCoreTest, ConnectMatchIgnoresCaseAndKeepsViaPath) {
    core.setMonitoredStream(1);
    core.StatusEvent("S1A*** connected to N0CALL-3 via RELAY");
    EXPECT_EQ(core.streams()[1].CallSign, "N0CALL-3");
    EXPECT_EQ(monitorItems().back(), "1/A:  CONNECTED to N0CALL-3 via RELAY @ " + stamp());
}

TEST_F(NodeCoreTest, SecondConnectOnBusyStreamKeepsEntryButStillGreets) {
    core.StatusEvent("S1A*** CONNECTED to N0CALL");
    core.StatusEvent("S1A*** CONNECTED to K4ABC");
    EXPECT_EQ(core.streams()[1].CallSign, "N0CALL");
    EXPECT_EQ(radio.files.size(), 2u);
}

TEST_F(NodeCoreTest, FailedChecksSendTheirTextsAndColourServerRed) {
    radio.fullTimeOk = false;
    core.StatusEvent("S1A*** CONNECTED to N0CALL");
    EXPECT_EQ(radio.allData(),
              "\rIP connection failed. Only Help, Info & Bye commands available.\rSMS>");
    EXPECT_EQ(core.serverState(), ServerState::Unreachable);

    radio.data.clear();
    radio.type = IpConnectionType::DialBackup;
    radio.connectionOk = true;
    core.StatusEvent("S1B*** CONNECTED to K4ABC");
    EXPECT_EQ(
        radio.allData(),
        "\rFull time IP connection failed. Trying Dial up...Dial up IP connection verified.\rSMS>");

    radio.data.clear();
    radio.type = IpConnectionType::DialUp;
    radio.connectionOk = false;
    core.StatusEvent("S1C*** CONNECTED to W1AW");
    EXPECT_EQ(radio.allData(), "\rMaking dial up connection. Please standby...Dial up connection "
                               "failed. Only Help, Info & Bye commands available.\rSMS>");

    radio.data.clear();
    radio.dialupUp = true;
    core.StatusEvent("S1D*** CONNECTED to W2AW");
    EXPECT_EQ(radio.allData(), "");
    EXPECT_EQ(core.serverState(), ServerState::Verified);
}

TEST_F(NodeCoreTest, DisconnectClearsEntryAndLabels) {
    core.StatusEvent("S1A*** CONNECTED to N0CALL");
    core.DataEvent("D1Ahello\r");
    EXPECT_EQ(traffic, Traffic::In);
    core.StatusEvent("S1A*** DISCONNECTED");
    EXPECT_FALSE(core.streams()[1].inUse());
    EXPECT_EQ(core.streamLabel(1), "1/A");
    EXPECT_EQ(traffic, Traffic::None);
    EXPECT_NE(logText().find("1/A: DISCONNECTED from N0CALL @ " + stamp() + "\r\n"),
              std::string::npos);
    const std::string before = logText();
    core.StatusEvent("S1A*** DISCONNECTED");
    EXPECT_EQ(logText(), before) << "a disconnect for a free entry writes nothing";
}

TEST_F(NodeCoreTest, FramesForUnknownStreamsAreIgnored) {
    core.StatusEvent("S1K*** CONNECTED to N0CALL");
    core.StatusEvent("S10*** CONNECTED to N0CALL");
    core.StatusEvent("S1");
    core.DataEvent("D1Bhello");
    EXPECT_TRUE(radio.files.empty());
    for (int i = 0; i < StreamTable::kEntries; ++i)
        EXPECT_FALSE(core.streams()[i].inUse());
}

TEST_F(NodeCoreTest, ChannelTimeoutAtEleventhTickAndForcedClearAtTwelfth) {
    core.setMonitoredStream(1);
    core.StatusEvent("S1A*** CONNECTED to N0CALL");
    tick(3);
    core.DataEvent("D1Ahello\r");
    EXPECT_EQ(core.streams()[1].IdleMinutes, 1);
    tick(10);
    EXPECT_TRUE(radio.calls.empty() || radio.calls.back() != "SendDisconnect 1A");
    tick(1);
    ASSERT_FALSE(radio.calls.empty());
    EXPECT_EQ(radio.calls.back(), "SendDisconnect 1A");
    EXPECT_TRUE(core.streams()[1].inUse());
    EXPECT_EQ(monitorItems().back(), "1/A:   Channel Timeout @ " + stamp())
        << "the message has four leading blanks";
    EXPECT_NE(logText().find("1/A: Channel Timeout @ " + stamp()), std::string::npos);
    tick(1);
    EXPECT_FALSE(core.streams()[1].inUse());
}

TEST_F(NodeCoreTest, HeartbeatEveryTick) {
    tick(1);
    EXPECT_EQ(settings.read("Client1", "Active", ""), heartbeatText(clock.now()));
}

TEST_F(NodeCoreTest, HangUpDelayIsRoundedAndKeptInItsRange) {
    radio.dialupUp = true;
    core.StatusEvent("S1A*** CONNECTED to N0CALL");
    for (const auto& [text, minutes] : std::vector<std::pair<std::string, int>>{
             {"2.5", 2}, {"3.5", 4}, {"2.7", 3}, {"40000", 120}, {"-5", 0}}) {
        radio.hangUpDelay = text;
        tick(1);
        EXPECT_EQ(core.hangUpCountdown(), minutes) << text;
    }
}

TEST(NodeCoreStartUp, TheLockAloneDecidesWhetherACopyRuns) {
    QTemporaryDir dir;
    auto settings = SettingsStore::atFile(dir.path().toStdString() + "/SMS.ini");
    FakeClock clock;
    RecordingDialogs dialogs;
    ServerQueues queues;
    // The second copy read the heartbeat before the first wrote it: the lock still holds.
    NodeCore first(settings, clock, dialogs, queues);
    ASSERT_TRUE(first.startUp("1"));
    settings.write("Client1", "Active", "0");
    NodeCore second(settings, clock, dialogs, queues);
    EXPECT_FALSE(second.startUp("1"));
    EXPECT_EQ(dialogs.shown().back().title, "Instance Already Running!");
    EXPECT_EQ(dialogs.shown().back().text, "Brevane Instance 1 already running!");

    // A copy that ended without its shutdown (lock freed, heartbeat left) holds nothing off.
    {
        NodeCore crashed(settings, clock, dialogs, queues);
        ASSERT_TRUE(crashed.startUp("2"));
    }
    EXPECT_EQ(settings.read("Client2", "Active", ""), heartbeatText(clock.now()));
    NodeCore next(settings, clock, dialogs, queues);
    EXPECT_TRUE(next.startUp("2"));
}

TEST(NodeCoreStartUp, AnUnwritableSettingsFileIsAClearErrorNamingIt) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/SMS.ini";
    // A folder where the file belongs: no write can succeed, even for root.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path)));
    auto settings = SettingsStore::atFile(path);
    FakeClock clock;
    RecordingDialogs dialogs;
    ServerQueues queues;
    NodeCore core(settings, clock, dialogs, queues);
    EXPECT_FALSE(core.startUp("1"));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].icon, DialogIcon::Critical);
    EXPECT_EQ(dialogs.shown()[0].title, "Settings Not Writable!");
    EXPECT_NE(dialogs.shown()[0].text.find(path), std::string::npos) << dialogs.shown()[0].text;
}

TEST_F(NodeCoreTest, DialUpHangUpAfterCountdown) {
    radio.dialupUp = true;
    radio.hangUpDelay = "2";
    core.StatusEvent("S1A*** CONNECTED to N0CALL");
    tick(1);
    EXPECT_EQ(core.hangUpCountdown(), 2);
    core.StatusEvent("S1A*** DISCONNECTED");
    tick(2);
    EXPECT_TRUE(std::find(radio.calls.begin(), radio.calls.end(), "hangUp") == radio.calls.end());
    EXPECT_EQ(core.serverState(), ServerState::Idle);
    tick(1);
    EXPECT_EQ(radio.calls.back(), "hangUp");
}

TEST_F(NodeCoreTest, DialUpHangUpWithZeroDelayAtFirstIdleTick) {
    radio.dialupUp = true;
    radio.hangUpDelay = "0";
    core.StatusEvent("S1A*** CONNECTED to N0CALL");
    tick(1);
    core.StatusEvent("S1A*** DISCONNECTED");
    tick(1);
    EXPECT_EQ(radio.calls.back(), "hangUp");
}

TEST_F(NodeCoreTest, MonitorSplitsLinesAndShowsOnlyTheMonitoredStream) {
    core.MonitorMsg(1, "A", "   one\rtwo\r");
    EXPECT_TRUE(monitorItems().empty());
    core.setMonitoredStream(1);
    core.MonitorMsg(1, "A", "   line1\rline2\r");
    core.MonitorMsg(1, "a", "D1Ax\r\n\ry\n");
    core.MonitorMsg(1, "B", "   other");
    EXPECT_EQ(monitorItems(), (std::vector<std::string>{"1/A:  line1", "1/A:  line2", "1/a:  x",
                                                        "1/a:  ", "1/a:  y"}));
}

TEST_F(NodeCoreTest, MonitorKeepsNewestThousandLines) {
    core.setMonitoredStream(1);
    for (int i = 1; i <= 1001; ++i)
        core.MonitorMsg(1, "A", "   " + std::to_string(i));
    EXPECT_EQ(monitorItems().size(), 1000u);
    EXPECT_EQ(monitorItems().front(), "1/A:  2");
    EXPECT_EQ(monitorItems().back(), "1/A:  1001");
}

TEST_F(NodeCoreTest, SaveMonitorToLog) {
    setup.log = false;
    core.saveMonitorToLog();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].title, "Logging Not Enabled!");
    EXPECT_EQ(dialogs.shown()[0].text,
              "Logging not enable...Check Enable Log checkbox on Setup form.");
    setup.log = true;
    core.saveMonitorToLog();
    EXPECT_EQ(logText(), "<missing>") << "an empty monitor list writes nothing";
    core.setMonitoredStream(1);
    core.MonitorMsg(1, "A", "   hello");
    core.saveMonitorToLog();
    EXPECT_EQ(logText(), "********* Manual List Save @ " + stamp() +
                             " *********\r\n1/A:  hello\r\n" + std::string(30, '*') + "\r\n");
}

TEST_F(NodeCoreTest, PostLogTransactionLine) {
    core.StatusEvent("S1B*** CONNECTED to K4ABC");
    core.PostLog(2, "List: 3 messages.");
    EXPECT_NE(logText().find("1/B K4ABC; 2026/05/14 10:30  List: 3 messages.\r\n"),
              std::string::npos);
}

TEST_F(NodeCoreTest, ShutdownRestoresTncLogsAndClearsHeartbeat) {
    core.setLastInitOK(true);
    bool ended = false;
    QObject::connect(&core, &NodeCore::ended, [&] { ended = true; });
    // A slow restore must not look like a dead instance: the heartbeat goes on.
    bool beating = false;
    setup.onRestore = [&] { beating = core.heartbeatRunning(); };
    core.requestStop();
    EXPECT_TRUE(beating);
    EXPECT_FALSE(core.heartbeatRunning());
    EXPECT_EQ(setup.calls, (std::vector<std::string>{"loadSetup", "Restore", "unloadSetup"}));
    EXPECT_EQ(restoring, "Restoring KPC3 ...Please wait.");
    EXPECT_NE(logText().find("...Brevane Version "), std::string::npos);
    EXPECT_NE(logText().find(" closing @ " + stamp() + "\r\n"), std::string::npos);
    EXPECT_EQ(settings.read("Client1", "Active", ""), "0");
    EXPECT_TRUE(ended);
}

TEST_F(NodeCoreTest, ShutdownWithoutRestoreReturnsToTerminalMode) {
    core.setLastInitOK(true);
    setup.restore = false;
    core.requestStop();
    EXPECT_EQ(setup.calls[1], "ClearHostMode");
    EXPECT_EQ(restoring, "Resetting KPC3 to Terminal mode....Please wait.");
}

TEST_F(NodeCoreTest, ShutdownWithClosedPortLeavesTncAlone) {
    core.setLastInitOK(true);
    setup.open = false;
    core.requestStop();
    EXPECT_EQ(setup.calls, (std::vector<std::string>{"loadSetup", "unloadSetup"}));
    EXPECT_NE(logText().find(" closing @ "), std::string::npos);
    EXPECT_EQ(settings.read("Client1", "Active", ""), "0");
}

TEST_F(NodeCoreTest, StatusStateCountsRefusalsAndTncFaultsAndStaysBounded) {
    connectUser("A", "N1CALL");
    // The fifth list beyond the stream's bound and a message over the body limit are refused.
    for (int i = 0; i < 5; ++i)
        say("A", "LM\r");
    say("A", "SP W1AW\r");
    say("A", "subject\r");
    say("A", std::string(33 * 1024, 'x') + "\r");
    say("A", "/EX\r");
    const auto& requests = core.counters().requests;
    EXPECT_EQ(requests.at({"list", "refused"}), 1u);
    EXPECT_EQ(requests.at({"send", "refused"}), 1u);
    EXPECT_EQ(core.requestsWaiting(1), 4);
    EXPECT_FALSE(core.lastRequest().at.isValid()) << "nothing went to the server";

    // A fault is a change from working to not working, not every report of one.
    EXPECT_FALSE(core.lastTncFault().isValid());
    core.setTncStatus("not working", false);
    core.setTncStatus("KPC3 on Comm 1 initialized", true);
    clock.advance(std::chrono::seconds(7));
    core.setTncStatus("TNC not responding", false);
    core.setTncStatus("TNC still not responding", false);
    EXPECT_EQ(core.counters().tncFaults, 1u);
    EXPECT_EQ(core.lastTncFault(), clock.now());
    EXPECT_EQ(core.tncStatusText(), "TNC still not responding");
    EXPECT_FALSE(core.tncWorking());

    // Every stream's lines keep their numbers; the oldest go beyond the bound.
    const std::uint64_t before = core.monitor().all().back().seq;
    for (int i = 1; i <= 1100; ++i)
        core.MonitorMsg(1, i % 2 != 0 ? "A" : "B", "   " + std::to_string(i));
    const auto& all = core.monitor().all();
    ASSERT_EQ(all.size(), Monitor::kAllLines);
    EXPECT_EQ(all.back().seq, before + 1100);
    EXPECT_EQ(all.front().seq, before + 101);
    EXPECT_EQ(all.back().index, 2);
    EXPECT_EQ(all.back().text, "1/B:  1100");
    for (int i = 0; i < 260; ++i)
        core.Log("line " + std::to_string(i));
    const auto& tail = core.nodeLog().tail();
    ASSERT_EQ(tail.size(), NodeLog::kTailLines);
    EXPECT_EQ(tail.front().text, "line 60");
    EXPECT_EQ(tail.back().text, "line 259");

    // A freed entry forgets its user's times and command.
    core.StatusEvent("S1A*** DISCONNECTED");
    EXPECT_FALSE(core.streams()[1].ConnectedAt.isValid());
    EXPECT_FALSE(core.streams()[1].LastHeard.isValid());
    EXPECT_EQ(core.streams()[1].LastCommand, "");
}
