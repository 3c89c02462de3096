// The TNC link end to end: the node's serial port, dispatch and drivers against tncsim on a
// real pseudo-terminal reached through the device map, with scripted radio users.
#include "tnc/cserial_port.h"
#include "tnc_fakes.h"

#include <QElapsedTimer>
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>

using namespace gw;
using namespace gw::test;

namespace {
// Real time, or real time run fast so that a TNC that never answers costs milliseconds.
class ScaledClock final : public Clock {
  public:
    explicit ScaledClock(int factor) : m_factor(factor) { m_timer.start(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    std::chrono::milliseconds elapsed() const override {
        return std::chrono::milliseconds(m_timer.elapsed() * m_factor);
    }

  private:
    int m_factor;
    QElapsedTimer m_timer;
};

struct Live : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        setup.path = dir.path().toStdString() + "/";
    }
    void TearDown() override {
        serial.PortOpen(false);
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            sim.waitForFinished(3000);
        }
        qunsetenv("XDG_CONFIG_HOME");
    }
    void writeFile(const std::string& name, const std::string& content) {
        QFile file(dir.filePath(QString::fromStdString(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.data(), static_cast<qint64>(content.size()));
    }
    // Starts tncsim on COM5 and opens the node's port on it.
    void startSim(QStringList args, const std::string& script = "") {
        if (!script.empty()) {
            writeFile("users.script", script);
            args << "--script" << dir.filePath("users.script");
        }
        args << "--link-com"
             << "5";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path());
        sim.setProcessEnvironment(env);
        sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim.start(QStringLiteral(TNCSIM_PATH), args);
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(simSays(" as ", 5000)) << simOutput;
        serial.CommPort(5);
        serial.Settings("9600,N,8,1");
        dispatch.setPolling(true);
        serial.PortOpen(true);
    }
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        SystemClock real;
        return waitUntil(pump, real, limit, done);
    }
    bool simSays(const std::string& text, int ms = 10000) {
        return waitFor(
            [&] {
                simOutput += sim.readAllStandardOutput().toStdString();
                return simOutput.find(text) != std::string::npos;
            },
            std::chrono::milliseconds(ms));
    }
    TncDriver* init(const std::string& type) {
        setup.type = type;
        TncDriver* driver = dispatch.CreateDriver(type);
        initResult = driver->Init();
        return driver;
    }
    std::vector<std::string> dialogTexts() const {
        std::vector<std::string> texts;
        for (const auto& shown : dialogs.shown())
            texts.push_back(shown.text);
        return texts;
    }

    QTemporaryDir dir;
    SettingsStore store = SettingsStore::atFile(dir.filePath("SMS.ini").toStdString());
    ScaledClock clock{1};
    QtEventPump pump;
    RecordingDialogs dialogs;
    CSerialPort serial;
    FakeSetup setup;
    RecordingMain main;
    TncDispatch dispatch{setup, main, serial, TncDispatch::Services{store, dialogs, pump, clock}};
    QProcess sim;
    std::string simOutput;
    bool initResult = false;
};

// A TNC that answers nothing: fifty times real time.
struct LiveFast : Live {
    ScaledClock fast{50};
    TncDispatch fastDispatch{setup, main, serial,
                             TncDispatch::Services{store, dialogs, pump, fast}};
};

// Timeouts amid answers: five times real time keeps a 200 ms polling tick inside every wait.
struct LiveBrisk : Live {
    ScaledClock brisk{5};
    TncDispatch briskDispatch{setup, main, serial,
                              TncDispatch::Services{store, dialogs, pump, brisk}};
    TncDriver* briskInit(const std::string& type) {
        setup.type = type;
        briskDispatch.setPolling(true);
        TncDriver* driver = briskDispatch.CreateDriver(type);
        initResult = driver->Init();
        return driver;
    }
};
} // namespace

TEST_F(Live, Kpc3WithEchoServesAScriptedUserAndRestores) {
    writeFile("KPC3.aps", "; node set-up\nPACLEN 64\nINTFACE HOST\n");
    startSim({"--type", "KPC3", "--echo", "on"},
             "1A connect N0CALL\n1A send hello\n1A send a\\xC0b\\xDBc\n1A expect END 20\n1A "
             "disconnect\n");
    TncDriver* driver = init("KPC3");
    ASSERT_TRUE(initResult) << setup.progressText;
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(driver->Paclen(1), 64);
    EXPECT_EQ(dispatch.lMaxusers1(), 10);
    const std::string saved = store.read("Client1", "KANSingleState", "");
    EXPECT_NE(saved.find("PACLEN 128\r\n"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("cmd:"), std::string::npos);

    ASSERT_TRUE(waitFor([&] { return main.data.size() >= 2; }, 10s)) << simOutput;
    EXPECT_EQ(main.statuses, std::vector<std::string>{"S1A*** CONNECTED to N0CALL"});
    EXPECT_EQ(main.data, (std::vector<std::string>{"D1Ahello\r", "D1Aa\xC0"
                                                                 "b\xDB"
                                                                 "c\r"}))
        << "bytes the TNC escaped arrive as the user sent them";

    std::string reply;
    for (int i = 0; i < 150; ++i)
        reply += static_cast<char>('a' + i % 26);
    reply += "\xC0\xDB END";
    dispatch.SendData(1, "A", reply);
    ASSERT_TRUE(simSays("1A expect ok: END")) << simOutput;
    EXPECT_NE(simOutput.find("1A <<< " + reply.substr(0, 64) + "\n"), std::string::npos)
        << simOutput;
    EXPECT_NE(simOutput.find("1A <<< " + reply.substr(64, 64) + "\n"), std::string::npos);
    EXPECT_NE(simOutput.find("1A <<< " + reply.substr(128, 22) + "\\xC0\\xDB END\n"),
              std::string::npos);
    ASSERT_TRUE(waitFor([&] { return main.statuses.size() == 2; }, 10s));
    EXPECT_EQ(main.statuses[1], "S1A*** DISCONNECTED");

    dispatch.Restore();
    EXPECT_EQ(dispatch.driver("KPC3"), nullptr);
    serial.DataToReceive();
    serial.DataToSend("PACLEN\r");
    std::string answer;
    ASSERT_TRUE(waitFor(
        [&] {
            answer += serial.DataToReceive();
            return answer.find("cmd:") != std::string::npos;
        },
        5s));
    EXPECT_NE(answer.find("PACLEN 128"), std::string::npos)
        << "terminal mode with the saved value back: " << answer;
}

TEST_F(Live, Kpc9612WithBothPorts) {
    writeFile("KPC9612.aps", "MAXUSERS 6/4\nPACLEN 128/100\n");
    setup.port1 = setup.port2 = true;
    startSim({"--type", "KPC9612"}, "2B connect N1CALL\n2B send on port two\n");
    TncDriver* driver = init("KPC9612");
    ASSERT_TRUE(initResult) << setup.progressText;
    EXPECT_EQ(dispatch.lMaxusers1(), 6);
    EXPECT_EQ(dispatch.lMaxusers2(), 4);
    EXPECT_EQ(driver->Paclen(2), 100);
    EXPECT_FALSE(store.read("Client1", "KANMultiState", "").empty());
    ASSERT_TRUE(waitFor([&] { return !main.data.empty(); }, 10s)) << simOutput;
    EXPECT_EQ(main.statuses, std::vector<std::string>{"S2B*** CONNECTED to N1CALL"});
    EXPECT_EQ(main.data, std::vector<std::string>{"D2Bon port two\r"});
    EXPECT_EQ(dispatch.GetLabel(8), "2/B");
}

TEST_F(LiveBrisk, KamFoundInHostModeOnANoisyLine) {
    writeFile("KAM.aps", "MAXUSERS 3/3\n");
    startSim({"--type", "KAM", "--host", "--garbage", "5", "--speed", "9600"});
    dispatch.setPolling(false);
    QElapsedTimer real;
    real.start();
    TncDriver* driver = briskInit("KAM");
    ASSERT_TRUE(initResult) << setup.progressText;
    EXPECT_NE(setup.progressText.find("   Host mode found.\r   Host mode cleared."),
              std::string::npos);
    EXPECT_EQ(briskDispatch.lMaxusers1(), 3);
    EXPECT_EQ(briskDispatch.lMaxusers2(), 0) << "port 2 not in use";
    EXPECT_EQ(driver->Paclen(1), 128);
    EXPECT_FALSE(store.read("Client1", "KAMState", "").empty());
    EXPECT_LT(real.elapsed(), 4000)
        << "the terminal-mode probe's five seconds ran on the brisk clock";
}

TEST_F(LiveBrisk, UnansweredPaclenFailsInitWithTheDefault) {
    startSim({"--type", "KPC3", "--echo", "off", "--delay", "50", "--no-answer", "PACLEN"});
    dispatch.setPolling(false);
    TncDriver* driver = briskInit("KPC3");
    EXPECT_FALSE(initResult);
    EXPECT_TRUE(dialogs.shown().empty()) << "the user limit was read, so no box";
    EXPECT_EQ(driver->Paclen(1), 128);
    EXPECT_EQ(briskDispatch.lMaxusers1(), 10);
}

TEST_F(Live, Tnc2WithEchoOffServesAScriptedUser) {
    writeFile("TNC2.aps", "SENDPAC $01\nCONV\n");
    startSim({"--type", "TNC2", "--echo", "off"},
             "1A connect N0CALL\n1A send LM\n1A expect SMS> 20\n1A disconnect\n");
    TncDriver* driver = init("TNC2");
    ASSERT_TRUE(initResult) << setup.progressText;
    EXPECT_EQ(dispatch.lMaxusers1(), 1);
    EXPECT_EQ(driver->Paclen(1), 128);
    EXPECT_NE(store.read("Client1", "TNC2State", "").find("PACLEN 128"), std::string::npos);
    ASSERT_TRUE(waitFor([&] { return !main.data.empty(); }, 10s)) << simOutput;
    EXPECT_EQ(main.statuses, std::vector<std::string>{"S1A*** CONNECTED TO N0CALL"});
    EXPECT_EQ(main.data, std::vector<std::string>{"D1ALM\r"})
        << "the line, not the AUTOLF line feed";
    dispatch.SendData(1, "A", "No messages\rSMS>");
    ASSERT_TRUE(simSays("1A expect ok: SMS>")) << simOutput;
    ASSERT_TRUE(waitFor([&] { return main.statuses.size() == 2; }, 10s));
    EXPECT_EQ(main.statuses[1], "S1A*** DISCONNECTED");
}

TEST_F(Live, Tnc2CharactersMovedUnderShortNamesStayLiteral) {
    // The TNC takes "PAS" for PASS and "COMM" for COMMAND; the node must learn both from it.
    writeFile("TNC2.aps", "SENDPAC $01\nPAS $1B\nCOMM $05\n");
    startSim({"--type", "TNC2", "--echo", "off"},
             "1A connect N0CALL\n1A expect SMS> 20\n1A disconnect\n");
    init("TNC2");
    ASSERT_TRUE(initResult) << setup.progressText;
    ASSERT_TRUE(waitFor([&] { return !main.statuses.empty(); }, 10s)) << simOutput;
    simSays("CONNECTED", 0);
    const std::size_t before = simOutput.size();
    dispatch.SendData(1, "A", "a\x05\x03\x16\x1Bz\rSMS>");
    EXPECT_TRUE(simSays("1A expect ok: SMS>")) << simOutput;
    EXPECT_EQ(simOutput.find("command mode", before), std::string::npos) << simOutput;
}

TEST_F(Live, EchoingTnc2FailsWithNoUsers) {
    setup.restore = false;
    startSim({"--type", "TNC2", "--echo", "on"});
    init("TNC2");
    EXPECT_FALSE(initResult);
    EXPECT_EQ(dialogTexts(),
              std::vector<std::string>{"Max user total is 0!\r     Edit .aps file."});
}

TEST_F(LiveFast, SwitchedOffTncFailsInit) {
    startSim({"--type", "KPC3", "--off"});
    setup.type = "KPC3";
    fastDispatch.setPolling(true);
    QElapsedTimer real;
    real.start();
    EXPECT_FALSE(fastDispatch.CreateDriver("KPC3")->Init());
    EXPECT_EQ(dialogTexts(),
              std::vector<std::string>{"Could not make connection to TNC, Check Settings."});
    EXPECT_LT(real.elapsed(), 3000) << "ten seconds of waiting on a clock that runs fast";
}

TEST_F(Live, UnpluggedTncIsReportedOnceAndTheNodeRunsOn) {
    startSim({"--type", "TNC2", "--echo", "off"});
    init("TNC2");
    ASSERT_TRUE(initResult);
    ::kill(static_cast<pid_t>(sim.processId()), SIGKILL);
    ASSERT_TRUE(sim.waitForFinished(5000));
    waitFor([] { return false; }, 1500ms);
    EXPECT_EQ(main.log.size(), 1u);
    EXPECT_EQ(main.tncStatus, "TNC2 serial port failure");
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_TRUE(dispatch.polling()) << "polling goes on for a reopened port";
}
