// The main window driven through its events and ticks with fakes and a fake clock:
// start-up refusals, connect and disconnect frames, idle and hang-up ticks, monitor, shutdown.
#include "core/frm_main.h"

#include "common/colours.h"
#include "main_fixture.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace gw;
using namespace gw::test;

TEST_F(FrmMainTest, StartUpWritesHeartbeatCaptionAndHandsOverToSetup) {
    EXPECT_EQ(settings.read("Client1", "Active", ""), heartbeatText(clock.now()));
    EXPECT_EQ(main.windowTitle(), "Corvale Brevane (1)");
    EXPECT_EQ(setup.calls, std::vector<std::string>{"loadSetup"});
    EXPECT_FALSE(main.isVisible());
}

TEST(FrmMainStartUp, RefusalsShowCriticalMessageAndWriteNothing) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/SMS.ini";
    auto settings = SettingsStore::atFile(path);
    FakeClock clock;
    RecordingDialogs dialogs;
    ServerQueues queues;
    {
        frmMain main(settings, clock, dialogs, queues);
        EXPECT_FALSE(main.startUp("11"));
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].icon, DialogIcon::Critical);
    EXPECT_EQ(dialogs.shown()[0].title, "Instance Parameter Error!");

    // A copy that died a moment ago left its heartbeat; its lock went with it.
    settings.write("Client3", "Active", generalDateTime(clock.now().addSecs(-5)));
    settings.write("Client3", "Initialized", "True");
    frmMain third(settings, clock, dialogs, queues);
    EXPECT_TRUE(third.startUp("3"));
    EXPECT_TRUE(third.bLastInitOK);
    FakeRadio radio;
    FakeSetup setup;
    third.handOver(radio, setup);
    EXPECT_EQ(setup.calls, std::vector<std::string>{"loadSetup+initialize"});
}

TEST_F(FrmMainTest, ConnectOpensEntryGreetsChecksAndLogs) {
    main.optMon[0]->setChecked(true);
    main.StatusEvent("S1A*** CONNECTED to N0CALL");
    const StreamRecord& entry = main.Streams[1];
    EXPECT_EQ(entry.IdleMinutes, 1);
    EXPECT_EQ(entry.CallSign, "N0CALL");
    EXPECT_EQ(entry.StreamID, "A");
    EXPECT_EQ(main.lblCall[0]->text(), "1/A       N0CALL");
    EXPECT_EQ(backgroundOf(main.lblCall[0]), kLightYellow);
    ASSERT_EQ(radio.files.size(), 1u);
    EXPECT_EQ(radio.files[0].text, "banner.txt");
    EXPECT_EQ(radio.allData(), "\rIP connection verified.\rSMS>");
    EXPECT_EQ(backgroundOf(main.lblCMBO), kLightYellow);
    EXPECT_EQ(monitorItems(), std::vector<std::string>{"1/A:  CONNECTED to N0CALL @ " + stamp()});
    EXPECT_EQ(logText(), "1/A: CONNECTED to N0CALL @ " + stamp() + "\r\n");
}

TEST_F(FrmMainTest, ConnectMatchIgnoresCaseAndKeepsViaPath) {
    main.optMon[0]->setChecked(true);
    main.StatusEvent("S1A*** connected to N0CALL-3 via RELAY");
    EXPECT_EQ(main.Streams[1].CallSign, "N0CALL-3");
    EXPECT_EQ(monitorItems().back(), "1/A:  CONNECTED to N0CALL-3 via RELAY @ " + stamp());
}

TEST_F(FrmMainTest, SecondConnectOnBusyStreamKeepsEntryButStillGreets) {
    main.StatusEvent("S1A*** CONNECTED to N0CALL");
    main.StatusEvent("S1A*** CONNECTED to K4ABC");
    EXPECT_EQ(main.Streams[1].CallSign, "N0CALL");
    EXPECT_EQ(radio.files.size(), 2u);
}

TEST_F(FrmMainTest, FailedChecksSendTheirTextsAndColourServerRed) {
    radio.fullTimeOk = false;
    main.StatusEvent("S1A*** CONNECTED to N0CALL");
    EXPECT_EQ(radio.allData(),
              "\rIP connection failed. Only Help, Info & Bye commands available.\rSMS>");
    EXPECT_EQ(backgroundOf(main.lblCMBO), kLightRed);

    radio.data.clear();
    radio.type = IpConnectionType::DialBackup;
    radio.connectionOk = true;
    main.StatusEvent("S1B*** CONNECTED to K4ABC");
    EXPECT_EQ(
        radio.allData(),
        "\rFull time IP connection failed. Trying Dial up...Dial up IP connection verified.\rSMS>");

    radio.data.clear();
    radio.type = IpConnectionType::DialUp;
    radio.connectionOk = false;
    main.StatusEvent("S1C*** CONNECTED to W1AW");
    EXPECT_EQ(radio.allData(), "\rMaking dial up connection. Please standby...Dial up connection "
                               "failed. Only Help, Info & Bye commands available.\rSMS>");

    radio.data.clear();
    radio.dialupUp = true;
    main.StatusEvent("S1D*** CONNECTED to W2AW");
    EXPECT_EQ(radio.allData(), "");
    EXPECT_EQ(backgroundOf(main.lblCMBO), kLightYellow);
}

TEST_F(FrmMainTest, DisconnectClearsEntryAndLabels) {
    main.StatusEvent("S1A*** CONNECTED to N0CALL");
    main.DataEvent("D1Ahello\r");
    EXPECT_EQ(main.lblTfc[0]->text(), "  ------>");
    main.StatusEvent("S1A*** DISCONNECTED");
    EXPECT_FALSE(main.Streams[1].inUse());
    EXPECT_EQ(main.lblCall[0]->text(), "1/A");
    EXPECT_FALSE(backgroundOf(main.lblCall[0]).has_value());
    EXPECT_EQ(main.lblTfc[0]->text(), "");
    EXPECT_NE(logText().find("1/A: DISCONNECTED from N0CALL @ " + stamp() + "\r\n"),
              std::string::npos);
    const std::string before = logText();
    main.StatusEvent("S1A*** DISCONNECTED");
    EXPECT_EQ(logText(), before) << "a disconnect for a free entry writes nothing";
}

TEST_F(FrmMainTest, FramesForUnknownStreamsAreIgnored) {
    main.StatusEvent("S1K*** CONNECTED to N0CALL");
    main.StatusEvent("S10*** CONNECTED to N0CALL");
    main.StatusEvent("S1");
    main.DataEvent("D1Bhello");
    EXPECT_TRUE(radio.files.empty());
    for (int i = 0; i < StreamTable::kEntries; ++i)
        EXPECT_FALSE(main.Streams[i].inUse());
}

TEST_F(FrmMainTest, ChannelTimeoutAtEleventhTickAndForcedClearAtTwelfth) {
    main.optMon[0]->setChecked(true);
    main.StatusEvent("S1A*** CONNECTED to N0CALL");
    tick(3);
    main.DataEvent("D1Ahello\r");
    EXPECT_EQ(main.Streams[1].IdleMinutes, 1);
    tick(10);
    EXPECT_TRUE(radio.calls.empty() || radio.calls.back() != "SendDisconnect 1A");
    tick(1);
    ASSERT_FALSE(radio.calls.empty());
    EXPECT_EQ(radio.calls.back(), "SendDisconnect 1A");
    EXPECT_TRUE(main.Streams[1].inUse());
    EXPECT_EQ(monitorItems().back(), "1/A:   Channel Timeout @ " + stamp())
        << "the message has four leading blanks";
    EXPECT_NE(logText().find("1/A: Channel Timeout @ " + stamp()), std::string::npos);
    tick(1);
    EXPECT_FALSE(main.Streams[1].inUse());
}

TEST_F(FrmMainTest, HeartbeatEveryTick) {
    tick(1);
    EXPECT_EQ(settings.read("Client1", "Active", ""), heartbeatText(clock.now()));
}

TEST_F(FrmMainTest, HangUpDelayIsRoundedAndKeptInItsRange) {
    radio.dialupUp = true;
    main.StatusEvent("S1A*** CONNECTED to N0CALL");
    for (const auto& [text, minutes] : std::vector<std::pair<std::string, int>>{
             {"2.5", 2}, {"3.5", 4}, {"2.7", 3}, {"40000", 120}, {"-5", 0}}) {
        radio.hangUpDelay = text;
        tick(1);
        EXPECT_EQ(main.HangUpCountdown, minutes) << text;
    }
}

TEST(FrmMainStartUp, TheLockAloneDecidesWhetherACopyRuns) {
    QTemporaryDir dir;
    auto settings = SettingsStore::atFile(dir.path().toStdString() + "/SMS.ini");
    FakeClock clock;
    RecordingDialogs dialogs;
    ServerQueues queues;
    // The second copy read the heartbeat before the first wrote it: the lock still holds.
    frmMain first(settings, clock, dialogs, queues);
    ASSERT_TRUE(first.startUp("1"));
    settings.write("Client1", "Active", "0");
    frmMain second(settings, clock, dialogs, queues);
    EXPECT_FALSE(second.startUp("1"));
    EXPECT_EQ(dialogs.shown().back().title, "Instance Already Running!");
    EXPECT_EQ(dialogs.shown().back().text, "Brevane Instance 1 already running!");

    // A copy that ended without its shutdown (lock freed, heartbeat left) holds nothing off.
    {
        frmMain crashed(settings, clock, dialogs, queues);
        ASSERT_TRUE(crashed.startUp("2"));
    }
    EXPECT_EQ(settings.read("Client2", "Active", ""), heartbeatText(clock.now()));
    frmMain next(settings, clock, dialogs, queues);
    EXPECT_TRUE(next.startUp("2"));
}

TEST(FrmMainStartUp, AnUnwritableSettingsFileIsAClearErrorNamingIt) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/SMS.ini";
    // A folder where the file belongs: no write can succeed, even for root.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path)));
    auto settings = SettingsStore::atFile(path);
    FakeClock clock;
    RecordingDialogs dialogs;
    ServerQueues queues;
    frmMain main(settings, clock, dialogs, queues);
    EXPECT_FALSE(main.startUp("1"));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].icon, DialogIcon::Critical);
    EXPECT_EQ(dialogs.shown()[0].title, "Settings Not Writable!");
    EXPECT_NE(dialogs.shown()[0].text.find(path), std::string::npos) << dialogs.shown()[0].text;
}

TEST_F(FrmMainTest, DialUpHangUpAfterCountdown) {
    radio.dialupUp = true;
    radio.hangUpDelay = "2";
    main.StatusEvent("S1A*** CONNECTED to N0CALL");
    tick(1);
    EXPECT_EQ(main.HangUpCountdown, 2);
    main.StatusEvent("S1A*** DISCONNECTED");
    tick(2);
    EXPECT_TRUE(std::find(radio.calls.begin(), radio.calls.end(), "DisconnectDialup") ==
                radio.calls.end());
    EXPECT_FALSE(backgroundOf(main.lblCMBO).has_value());
    tick(1);
    EXPECT_EQ(radio.calls.back(), "DisconnectDialup");
}

TEST_F(FrmMainTest, DialUpHangUpWithZeroDelayAtFirstIdleTick) {
    radio.dialupUp = true;
    radio.hangUpDelay = "0";
    main.StatusEvent("S1A*** CONNECTED to N0CALL");
    tick(1);
    main.StatusEvent("S1A*** DISCONNECTED");
    tick(1);
    EXPECT_EQ(radio.calls.back(), "DisconnectDialup");
}

TEST_F(FrmMainTest, MonitorSplitsLinesAndShowsOnlyTheMonitoredStream) {
    main.MonitorMsg(1, "A", "   one\rtwo\r");
    EXPECT_TRUE(monitorItems().empty());
    main.optMon[0]->setChecked(true);
    main.MonitorMsg(1, "A", "   line1\rline2\r");
    main.MonitorMsg(1, "a", "D1Ax\r\n\ry\n");
    main.MonitorMsg(1, "B", "   other");
    EXPECT_EQ(monitorItems(), (std::vector<std::string>{"1/A:  line1", "1/A:  line2", "1/a:  x",
                                                        "1/a:  ", "1/a:  y"}));
    EXPECT_EQ(main.lstMonitor->currentRow(), 4);
}

TEST_F(FrmMainTest, MonitorKeepsNewestThousandLines) {
    main.optMon[0]->setChecked(true);
    for (int i = 1; i <= 1001; ++i)
        main.MonitorMsg(1, "A", "   " + std::to_string(i));
    EXPECT_EQ(main.lstMonitor->count(), 1000);
    EXPECT_EQ(monitorItems().front(), "1/A:  2");
    EXPECT_EQ(monitorItems().back(), "1/A:  1001");
}

TEST_F(FrmMainTest, SaveMonitorToLog) {
    setup.log = false;
    main.btnSavetoLog_Click();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].title, "Logging Not Enabled!");
    EXPECT_EQ(dialogs.shown()[0].text,
              "Logging not enable...Check Enable Log checkbox on Setup form.");
    setup.log = true;
    main.btnSavetoLog_Click();
    EXPECT_EQ(logText(), "<missing>") << "an empty monitor list writes nothing";
    main.optMon[0]->setChecked(true);
    main.MonitorMsg(1, "A", "   hello");
    main.btnSavetoLog_Click();
    EXPECT_EQ(logText(), "********* Manual List Save @ " + stamp() +
                             " *********\r\n1/A:  hello\r\n" + std::string(30, '*') + "\r\n");
}

TEST_F(FrmMainTest, PostLogTransactionLine) {
    main.StatusEvent("S1B*** CONNECTED to K4ABC");
    main.PostLog(2, "List: 3 messages.");
    EXPECT_NE(logText().find("1/B K4ABC; 2026/05/14 10:30  List: 3 messages.\r\n"),
              std::string::npos);
}

TEST_F(FrmMainTest, ExitAsksAndCancelKeepsRunning) {
    dialogs.queueAnswer(DialogAnswer::Cancel);
    main.mnuView_Click(5);
    EXPECT_EQ(dialogs.shown().back().title, "Exit Gullwick");
    EXPECT_EQ(dialogs.shown().back().text, "Are you sure you want to exit of Gullwick?");
    EXPECT_TRUE(setup.calls.size() == 1) << "nothing was unloaded";
    EXPECT_NE(settings.read("Client1", "Active", ""), "0");
}

TEST_F(FrmMainTest, ShutdownRestoresTncLogsAndClearsHeartbeat) {
    main.bLastInitOK = true;
    bool ended = false;
    QObject::connect(&main, &frmMain::ended, [&] { ended = true; });
    // A slow restore must not look like a dead instance: the heartbeat goes on.
    bool beating = false;
    setup.onRestore = [&] { beating = main.tmrActiveTimer1.isActive(); };
    main.close();
    EXPECT_TRUE(beating);
    EXPECT_FALSE(main.tmrActiveTimer1.isActive());
    EXPECT_EQ(setup.calls, (std::vector<std::string>{"loadSetup", "Restore", "unloadSetup"}));
    EXPECT_EQ(main.lblRestoring->text(), "Restoring KPC3 ...Please wait.");
    EXPECT_NE(logText().find("...Brevane Version "), std::string::npos);
    EXPECT_NE(logText().find(" closing @ " + stamp() + "\r\n"), std::string::npos);
    EXPECT_EQ(settings.read("Client1", "Active", ""), "0");
    EXPECT_TRUE(ended);
}

TEST_F(FrmMainTest, ShutdownWithoutRestoreReturnsToTerminalMode) {
    main.bLastInitOK = true;
    setup.restore = false;
    main.close();
    EXPECT_EQ(setup.calls[1], "ClearHostMode");
    EXPECT_EQ(main.lblRestoring->text(), "Resetting KPC3 to Terminal mode....Please wait.");
}

TEST_F(FrmMainTest, ShutdownWithClosedPortLeavesTncAlone) {
    main.bLastInitOK = true;
    setup.open = false;
    main.close();
    EXPECT_EQ(setup.calls, (std::vector<std::string>{"loadSetup", "unloadSetup"}));
    EXPECT_NE(logText().find(" closing @ "), std::string::npos);
    EXPECT_EQ(settings.read("Client1", "Active", ""), "0");
}
