// The AGW driver: its frame codec, and the driver behind the real dispatch against tncsim's
// AGW modem program over 127.0.0.1, with scripted radio users and the faults real modem
// programs show (refused call, missing port, busy node, dropped queue, restart, broken frame).
#include "tnc/agw_frame.h"
#include "tnc/cserial_port.h"
#include "tnc_fakes.h"

#include <QProcess>
#include <QSocketNotifier>
#include <algorithm>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

using namespace gw;
using namespace gw::test;

namespace {

TEST(AgwFrame, FramesSurviveAnyChunkingAndBrokenHeadersAreRefused) {
    const std::string stream =
        encodeAgwFrame({0, 'C', 0, "N1CALL", "N0CALL", "*** hi\r"}) +
        encodeAgwFrame({1, 'D', 0xF0, "N1CALL-15", "N0CALL", ""}) +
        encodeAgwFrame({0, 'D', 0xF0, "N1CALL", "N0CALL", std::string(5000, '\xC0')});
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        std::vector<AgwFrame> frames;
        AgwFrameReader reader([&](AgwFrame frame) { frames.push_back(std::move(frame)); });
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t n = std::uniform_int_distribution<std::size_t>(1, 700)(random);
            ASSERT_TRUE(reader.feed(std::string_view(stream).substr(at, n)));
            at += n;
        }
        ASSERT_EQ(frames.size(), 3u);
        EXPECT_EQ(frames[0].callFrom, "N1CALL");
        EXPECT_EQ(frames[0].data, "*** hi\r");
        EXPECT_EQ(frames[1].port, 1);
        EXPECT_EQ(frames[1].callFrom, "N1CALL-15");
        EXPECT_EQ(frames[2].data.size(), 5000u);
    }
    // Too long a DataLen, a non-zero padding byte, a call field with a control character.
    std::string tooLong = encodeAgwFrame({0, 'D', 0xF0, "N1", "N0", ""});
    tooLong[30] = '\x02';
    std::string padding = encodeAgwFrame({0, 'D', 0xF0, "N1", "N0", ""});
    padding[2] = '\x01';
    std::string call = encodeAgwFrame({0, 'D', 0xF0, "N1\x03", "N0", ""});
    for (const std::string& broken : {tooLong, padding, call}) {
        int seen = 0;
        AgwFrameReader reader([&](AgwFrame) { ++seen; });
        EXPECT_FALSE(reader.feed(broken + encodeAgwFrame({0, 'R', 0, "", "", ""})));
        EXPECT_EQ(seen, 0);
    }
}

struct Agw : ::testing::Test {
    void TearDown() override {
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            sim.waitForFinished(3000);
        }
    }
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        return waitUntil(pump, clock, limit, done);
    }
    bool simSays(const std::string& text, int ms = 15000) {
        return waitFor(
            [&] {
                simOutput += sim.readAllStandardOutput().toStdString();
                return simOutput.find(text) != std::string::npos;
            },
            std::chrono::milliseconds(ms));
    }
    // tncsim's AGW modem program with `script` for its users; the node set to reach it.
    void startSim(QStringList args, const std::string& script = "") {
        if (!script.empty()) {
            QFile file(dir.filePath("users.script"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(script.data(), static_cast<qint64>(script.size()));
            args << "--script" << file.fileName() << "--start-after"
                 << "100";
        }
        sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim.start(QStringLiteral(TNCSIM_PATH), QStringList{"--type", "AGW"} + args);
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(simSays("tncsim AGW on 127.0.0.1:", 5000)) << simOutput;
        const std::size_t at = simOutput.find("127.0.0.1:");
        address = simOutput.substr(at, simOutput.find('\n', at) - at);
    }
    bool init() {
        setup.address = address;
        setup.type = "AGW";
        dispatch.setPolling(true);
        driver = dynamic_cast<CAGW*>(dispatch.CreateDriver("AGW"));
        return driver->Init();
    }
    bool hasStatus(const std::string& status) const {
        return std::find(main.statuses.begin(), main.statuses.end(), status) != main.statuses.end();
    }
    std::size_t logged(const std::string& text) const {
        return static_cast<std::size_t>(
            std::count_if(main.log.begin(), main.log.end(), [&](const std::string& line) {
                return line.find(text) != std::string::npos;
            }));
    }

    QTemporaryDir dir;
    SettingsStore store = SettingsStore::atFile(dir.filePath("SMS.ini").toStdString());
    SystemClock clock;
    QtEventPump pump;
    RecordingDialogs dialogs;
    CSerialPort serial;
    FakeSetup setup;
    RecordingMain main;
    TncDispatch dispatch{setup, main, serial, TncDispatch::Services{store, dialogs, pump, clock}};
    CAGW* driver = nullptr;
    QProcess sim;
    std::string simOutput;
    std::string address;
};

TEST_F(Agw, EachInitFailureHasItsOwnText) {
    // Nothing listening: a port taken from the system and given back.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof any;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&any), &size);
    address = "127.0.0.1:" + std::to_string(ntohs(any.sin_port));
    EXPECT_FALSE(init());
    EXPECT_NE(setup.progressText.find("Nothing listening at " + address), std::string::npos)
        << setup.progressText;
    EXPECT_EQ(logged("Nothing listening at " + address), 1u);

    // Something listening that is not an AGW server: it greets with a text line.
    ASSERT_EQ(::listen(fd, 1), 0);
    QSocketNotifier incoming(fd, QSocketNotifier::Read);
    QObject::connect(&incoming, &QSocketNotifier::activated, [&] {
        const int peer = ::accept(fd, nullptr, nullptr);
        const std::string banner = "SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n" + std::string(40, ' ');
        ASSERT_GT(::send(peer, banner.data(), banner.size(), 0), 0);
        ::close(peer);
    });
    setup.progressText.clear();
    EXPECT_FALSE(init());
    EXPECT_NE(setup.progressText.find(address + " is not an AGW server"), std::string::npos)
        << setup.progressText;
    ::close(fd);

    setup.progressText.clear();
    address = "127.0.0.1";
    EXPECT_FALSE(init());
    EXPECT_NE(setup.progressText.find("is not host:port"), std::string::npos);
}

// The setup's values as they are now reach the modem program, not the stored ones: a check of
// the line tests the address typed in the box.
TEST_F(Agw, TheSetupsLiveValuesAreUsedNotTheStoredOnes) {
    startSim({});
    store.write("Client1", "AGWAddress", "127.0.0.1:1");
    store.write("Client1", "MBOCall", "K4OLD");
    store.write("Client1", "AGWPaclen", "200");
    setup.paclen = "64";
    setup.address = address;
    setup.type = "AGW";
    dispatch.setPolling(true);
    TncDriver* driver = dispatch.CreateDriver("AGW");
    {
        TncDispatch::DriverCall call(dispatch);
        EXPECT_TRUE(driver->CheckComm()) << setup.progressText;
    }
    EXPECT_TRUE(simSays("tnc: unregistered N0CALL")) << simOutput;
    EXPECT_EQ(simOutput.find("K4OLD"), std::string::npos) << simOutput;
    EXPECT_FALSE(dispatch.line().PortOpen());
    ASSERT_TRUE(driver->Init()) << setup.progressText;
    EXPECT_EQ(dispatch.GetPaclen(1), 64);
}

TEST_F(Agw, RefusedRegistrationFailsClearly) {
    startSim({"--agw-refuse"});
    EXPECT_FALSE(init());
    EXPECT_NE(setup.progressText.find("refused to register N0CALL"), std::string::npos)
        << setup.progressText;
    EXPECT_EQ(logged("refused to register N0CALL"), 1u);
}

TEST_F(Agw, ARadioPortTheModemProgramLacksIsRefused) {
    startSim({"--agw-ports", "1"});
    setup.port1 = setup.port2 = true;
    EXPECT_FALSE(init());
    EXPECT_NE(setup.progressText.find("has no radio port 2 (AGW port 1); it has 1."),
              std::string::npos)
        << setup.progressText;
}

// Ten callers get A to J; the eleventh hears the busy text and is let go; a call that links
// again while it holds a stream starts a new connection.
TEST_F(Agw, StreamsAreGivenLowestFirstAndTheEleventhCallerIsTurnedAway) {
    std::string script;
    for (char s = 'A'; s <= 'J'; ++s)
        script += std::string("1") + s + " wait " + std::to_string((s - 'A') * 30) + "\n1" + s +
                  " connect N" + std::to_string(s - 'A') + "CALL\n";
    script += "1K wait 800\n1K connect N10CALL\n1K expect Sorry, all streams are busy\n"
              "1K expect-disconnect 10\n";
    script += "1C wait 1500\n1C disconnect\n1L wait 2500\n1L connect N9CALL\n";
    startSim({"--agw-rate", "0"}, script);
    ASSERT_TRUE(init()) << setup.progressText;
    EXPECT_EQ(dispatch.lMaxusers1(), 10);
    EXPECT_EQ(dispatch.line().PortOpen(), true);
    ASSERT_TRUE(simSays("1K expect-disconnect ok")) << simOutput;
    for (char s = 'A'; s <= 'J'; ++s)
        EXPECT_TRUE(hasStatus(std::string("S1") + s + "*** CONNECTED to N" +
                              std::to_string(s - 'A') + "CALL"))
            << s;
    EXPECT_FALSE(hasStatus("S1K*** CONNECTED to N10CALL"));
    // N9CALL holds J; linking again ends that stream and takes the lowest free letter, C.
    ASSERT_TRUE(waitFor([&] { return hasStatus("S1C*** CONNECTED to N9CALL"); }, 10s)) << simOutput;
    const auto at = [&](const std::string& s) {
        return std::find(main.statuses.begin(), main.statuses.end(), s) - main.statuses.begin();
    };
    EXPECT_LT(at("S1J*** DISCONNECTED"), at("S1C*** CONNECTED to N9CALL"));
    EXPECT_EQ(driver->streams(), 9u);
}

// The modem program drops queued data on a disconnect: the node waits until the link has sent
// everything, serving the other streams meanwhile.
TEST_F(Agw, ADisconnectWaitsUntilTheQueuedTextHasGone) {
    startSim({"--agw-rate", "400", "--agw-drop-queued"},
             "1A connect N1CALL\n1A expect 73 de N0CALL 20\n1A expect-disconnect 20\n"
             "1B connect N2CALL\n1B wait 800\n1B send still here\n");
    bool heardWhileDraining = false;
    main.onData = [&](const std::string& data) {
        if (data == "D1Bstill here\r") heardWhileDraining = driver->closing() == 1;
    };
    ASSERT_TRUE(init()) << setup.progressText;
    ASSERT_TRUE(waitFor([&] { return hasStatus("S1B*** CONNECTED to N2CALL"); }, 10s));
    ASSERT_TRUE(hasStatus("S1A*** CONNECTED to N1CALL"));
    const std::string reply(900, 'x');
    dispatch.SendData(1, "A", reply + "\r73 de N0CALL\r");
    dispatch.SendDisconnect(1, "A");
    EXPECT_EQ(driver->closing(), 1u);
    ASSERT_TRUE(waitFor([&] { return hasStatus("S1A*** DISCONNECTED"); }, 20s)) << simOutput;
    EXPECT_TRUE(simSays("1A expect ok: 73 de N0CALL")) << simOutput;
    EXPECT_TRUE(simSays("1A expect-disconnect ok")) << simOutput;
    EXPECT_TRUE(heardWhileDraining);
    EXPECT_EQ(simOutput.find("disconnect drops"), std::string::npos) << simOutput;
}

// The modem program restarts with two users on: one report, a disconnect for each stream,
// reconnection and registration by itself, and new callers served again.
TEST_F(Agw, AModemProgramRestartIsRiddenOut) {
    startSim({"--agw-vanish", "1500", "--agw-return", "1000"},
             "1A connect N1CALL\n1B connect N2CALL\n1A expect-disconnect 10\n"
             "1C wait 6000\n1C connect N3CALL\n1C send LM\n");
    ASSERT_TRUE(init()) << setup.progressText;
    ASSERT_TRUE(waitFor([&] { return hasStatus("S1B*** DISCONNECTED"); }, 10s)) << simOutput;
    EXPECT_TRUE(hasStatus("S1A*** DISCONNECTED"));
    EXPECT_EQ(main.tncStatus, "AGW lost on " + address);
    EXPECT_FALSE(main.tncWorking);
    ASSERT_TRUE(waitFor([&] { return main.tncWorking; }, 10s)) << simOutput;
    EXPECT_EQ(main.tncStatus, "AGW OK on " + address);
    ASSERT_TRUE(waitFor([&] { return !main.data.empty(); }, 10s)) << simOutput;
    EXPECT_TRUE(hasStatus("S1A*** CONNECTED to N3CALL"));
    EXPECT_EQ(main.data.back(), "D1ALM\r");
    EXPECT_EQ(logged("AGW connection to " + address + " lost"), 1u);
    EXPECT_EQ(logged("AGW connection to " + address + " restored"), 1u);
}

// A frame no AGW peer sends: the node drops the connection and opens it afresh.
TEST_F(Agw, ABrokenFrameReopensTheConnection) {
    startSim({"--agw-malformed", "800"},
             "1A connect N1CALL\n1A expect-disconnect 10\n1B wait 3000\n1B connect N2CALL\n");
    ASSERT_TRUE(init()) << setup.progressText;
    ASSERT_TRUE(waitFor([&] { return hasStatus("S1A*** CONNECTED to N2CALL"); }, 10s)) << simOutput;
    EXPECT_TRUE(hasStatus("S1A*** DISCONNECTED"));
    EXPECT_EQ(logged("lost: malformed frame from the modem program"), 1u);
    EXPECT_EQ(logged("restored"), 1u);
}

} // namespace
