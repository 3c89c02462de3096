// The node against a real sound-card modem: brevane headless (type AGW) on one direwolf
// station, a scripted radio user on a second station, the two joined by a simulated 1200-baud
// audio channel, smsd as the server. Every byte the user hears is checked, and the last reply
// must reach the user before the node drops the link.
#include "direwolf_rig.h"
#include "node_rig.h"

#include <QDate>
#include <QRegularExpression>
#include <QStandardPaths>
#include <sched.h>

namespace {
using namespace std::chrono_literals;

constexpr const char* kHelp = "Commands:\r\nLM         list your messages\r\n"
                              "R n        read message n\r\nK n        kill message n\r\n"
                              "SP call    send a message\r\nI          node information\r\n"
                              "B          log off\r\n";

class DirewolfEndToEnd : public gwtest::NodeRig {
  protected:
    void SetUp() override { startRig(false); }
    // The server and the two stations; with `kiss` the node's station serves KISS (under a
    // call of its own, as a bare modem) and `relayOptions` may make the channel lossy.
    void startRig(bool kiss, const QString& relayOptions = {}) {
        if (QStandardPaths::findExecutable("direwolf").isEmpty()) {
            GTEST_SKIP() << "direwolf is not installed and could not be (scripts/deps.sh "
                            "installs the Debian package direwolf); the two-station test is "
                            "skipped";
        }
        // A network of our own where allowed, so that nothing outside reaches the stations.
        if (::unshare(CLONE_NEWNET) == 0) {
            ASSERT_EQ(std::system("ip link set lo up"), 0);
        }
        startServer({"--node", "N0CALL:SECRET", "--seed"});
        QFile help(data() + "help.txt");
        ASSERT_TRUE(help.open(QIODevice::WriteOnly));
        help.write(kHelp);
        help.close();
        const int nodeAudio = gwtest::freePort(SOCK_DGRAM);
        int userAudio = gwtest::freePort(SOCK_DGRAM);
        while (userAudio == nodeAudio)
            userAudio = gwtest::freePort(SOCK_DGRAM);
        ASSERT_TRUE(nodeStation.start(dir.path() + "/n0call", kiss ? "N0TNC" : "N0CALL", nodeAudio,
                                      userAudio, AUDIO_RELAY_PATH, kiss, relayOptions))
            << nodeStation.log();
        ASSERT_TRUE(userStation.start(dir.path() + "/n1call", "N1CALL", userAudio, nodeAudio,
                                      AUDIO_RELAY_PATH, false, relayOptions))
            << userStation.log();
    }
    // The node on its station (type `type`, AGW or KISS, at `port`, with `more` settings),
    // then the user's station registers and calls it: greeting and prompt within `limit`.
    void startNodeAndCall(const std::string& type, int port, std::chrono::seconds limit,
                          const std::vector<std::pair<QString, QVariant>>& more = {}) {
        const std::string address = "127.0.0.1:" + std::to_string(port);
        writeSettings(QString::fromStdString(type), "127.0.0.1");
        {
            QSettings ini(config() + "/gullwick/SMS.ini", QSettings::IniFormat);
            ini.beginGroup("Client1");
            ini.setValue(QString::fromStdString(type) + "Address", QString::fromStdString(address));
            for (const auto& [key, value] : more)
                ini.setValue(key, value);
        }
        startNode();
        QElapsedTimer timer;
        timer.start();
        while (logText().find(" initialized @ ") == std::string::npos && timer.elapsed() < 20000)
            QThread::msleep(50);
        ASSERT_NE(logText().find(type + " on " + address + " initialized @ "), std::string::npos)
            << logText() << diagnostics();
        ASSERT_TRUE(user.connect(userStation.agwPort));
        user.send('X', "N1CALL", "");
        const auto registered = user.next(5s);
        ASSERT_TRUE(registered && registered->kind == 'X' && registered->data == "\1");
        user.send('C', "N1CALL", "N0CALL");
        ASSERT_TRUE(listen([&] { return connected && prompts() >= 1; }, limit)) << diagnostics();
    }
    // Once the node has seen the link go, its log names the user's connect and disconnect.
    std::string expectSessionLogged() {
        QElapsedTimer timer;
        timer.start();
        while (logText().find("DISCONNECTED") == std::string::npos && timer.elapsed() < 10000)
            QThread::msleep(50);
        const std::string log = logText();
        EXPECT_NE(log.find("1/A: CONNECTED to N1CALL @ "), std::string::npos) << log;
        EXPECT_NE(log.find("1/A: DISCONNECTED from N1CALL @ "), std::string::npos) << log;
        return log;
    }
    std::string logText() const {
        QFile file(data() + "N0CALL_1_" + QDate::currentDate().toString("MM") + ".log");
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
    }
    std::string diagnostics() {
        return "\n--- node station ---\n" + nodeStation.log() + "\n--- user station ---\n" +
               userStation.log() + "\n--- node ---\n" + node.readAll().toStdString() +
               "\n--- heard ---\n" + heard;
    }
    // Reads the user's frames until `done` or `limit`; data is added to what the user heard.
    bool listen(const std::function<bool()>& done, std::chrono::seconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            const auto frame = user.next(left);
            if (!frame) return done();
            if (frame->kind == 'D') heard += frame->data;
            if (frame->kind == 'C') connected = true;
            if (frame->kind == 'd') dropped = true;
        }
        return true;
    }
    std::size_t prompts() const {
        std::size_t count = 0;
        for (std::size_t at = heard.find("SMS>"); at != std::string::npos;
             at = heard.find("SMS>", at + 1))
            ++count;
        return count;
    }
    bool say(const std::string& line, std::size_t promptsAfter, std::chrono::seconds limit = 30s) {
        user.send('D', "N1CALL", "N0CALL", line + "\r");
        return listen([&] { return prompts() >= promptsAfter; }, limit);
    }

    gwtest::DirewolfStation nodeStation;
    gwtest::DirewolfStation userStation;
    gwtest::AgwUser user;
    std::string heard;
    bool connected = false;
    bool dropped = false;
};
} // namespace

TEST_F(DirewolfEndToEnd, RadioUserSessionOverTwoStations) {
    startNodeAndCall("AGW", nodeStation.agwPort, 40s);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(say("LM", 2)) << diagnostics();
    ASSERT_TRUE(say("R 1", 3)) << diagnostics();
    user.send('D', "N1CALL", "N0CALL", "SP N0CALL\r");
    ASSERT_TRUE(listen([&] { return heard.find("N0CALL :\r") != std::string::npos; }, 30s))
        << diagnostics();
    user.send('D', "N1CALL", "N0CALL", "Field day\r");
    ASSERT_TRUE(listen([&] { return heard.find("separate line:\r") != std::string::npos; }, 30s))
        << diagnostics();
    user.send('D', "N1CALL", "N0CALL", "Line one\r");
    user.send('D', "N1CALL", "N0CALL", "Line two\r");
    ASSERT_TRUE(say("/EX", 4)) << diagnostics();
    // Help and bye at once: the help text is still on its way when the node is asked to drop
    // the link, and must arrive whole before the link goes.
    user.send('D', "N1CALL", "N0CALL", "H\r");
    user.send('D', "N1CALL", "N0CALL", "B\r");
    ASSERT_TRUE(listen([&] { return dropped; }, 60s)) << diagnostics();

    const auto match =
        QRegularExpression("new MID (SMS_[0-9A-Z]{8}) to").match(QString::fromStdString(heard));
    ASSERT_TRUE(match.hasMatch()) << heard;
    const std::string mid = match.captured(1).toStdString();
    std::string help = kHelp;
    help.erase(std::remove(help.begin(), help.end(), '\n'), help.end());
    const std::string expected =
        "Welcome to N0CALL\r"
        "\rIP connection verified.\rSMS>"
        "(1) SMS_SEED0002  2026/05/02 18:40  52  N2CALL  Net tonight\r"
        "(2) SMS_SEED0003  2026/05/03 07:05  36  N0CALL  Antenna party\r\rSMS>"
        "Mid: SMS_SEED0002\rDate: 2026/05/02 18:40\rFrom: N2CALL\rTo: N0CALL\r"
        "Cc: N1CALL\rSubject: Net tonight\r"
        "The club net starts at 20:00 on the usual frequency.\rSMS>"
        "Enter the subject for new MID " +
        mid +
        " to N0CALL :\r"
        "Enter Msg, end with /EX on a separate line:\r"
        "Mid: " +
        mid + " accepted!\rSMS>" + help + "\rSMS>";
    EXPECT_EQ(heard, expected) << diagnostics();

    const auto stored = gwtest::exchange(smsd->port(), "R|N0CALL|SECRET|N0CALL|" + mid + "|\r\n");
    EXPECT_NE(stored.reply.find("From: N1CALL"), std::string::npos) << stored.reply;
    EXPECT_NE(stored.reply.find("Subject: Field day"), std::string::npos) << stored.reply;
    // The body keeps the user's line ends.
    EXPECT_NE(stored.reply.find("\r\n\r\nLine one\rLine two\r\r\n/EX"), std::string::npos)
        << QByteArray::fromStdString(stored.reply).toPercentEncoding().toStdString();

    expectSessionLogged();
}

namespace {
// The node over KISS: it runs the link itself on the first station's KISS port, and the
// user's station keeps direwolf's own AX.25, the independent peer of the node's link layer.
class DirewolfKiss : public DirewolfEndToEnd {
  protected:
    void SetUp() override {}
    // The rig with a 2 KB message for N1CALL on the server, the node initialized on the
    // station's KISS port, and the user's station registered.
    void startKissNode(const QString& relayOptions = {}, int retries = 10) {
        startRig(true, relayOptions);
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(gwtest::storeBigMessage(smsd->port()));
        startNodeAndCall("KISS", nodeStation.kissPort, 60s, {{"KISSRetries", retries}});
    }
    // LM, then R of the 2 KB message: it must arrive whole, once and in order.
    void listAndReadTheBigMessage(std::chrono::seconds limit) {
        ASSERT_TRUE(say("LM", 2, limit)) << diagnostics();
        const auto match =
            QRegularExpression("\\((\\d)\\) SMS_BIG00001 ").match(QString::fromStdString(heard));
        ASSERT_TRUE(match.hasMatch()) << heard;
        ASSERT_TRUE(say("R " + match.captured(1).toStdString(), 3, limit)) << diagnostics();
        const std::string read = heard.substr(heard.find("Mid: SMS_BIG00001"));
        EXPECT_EQ(read, gwtest::bigMessageAsRead()) << diagnostics();
    }
    // B: the node's farewell, then its own DISC, answered by the user's station.
    void sayBye(std::chrono::seconds limit) {
        user.send('D', "N1CALL", "N0CALL", "B\r");
        ASSERT_TRUE(listen([&] { return dropped; }, limit)) << diagnostics();
        const std::string log = expectSessionLogged();
        EXPECT_EQ(log.find(" failed: "), std::string::npos) << log;
    }
};
} // namespace

TEST_F(DirewolfKiss, SessionWithTwoKilobytesAndTheNodesOwnDisc) {
    startKissNode();
    if (IsSkipped() || HasFatalFailure()) return;
    EXPECT_EQ(heard, "Welcome to N0CALL\r\rIP connection verified.\rSMS>") << diagnostics();
    listAndReadTheBigMessage(60s);
    if (HasFatalFailure()) return;
    user.send('D', "N1CALL", "N0CALL", "SP N0CALL\r");
    ASSERT_TRUE(listen([&] { return heard.find("N0CALL :\r") != std::string::npos; }, 30s))
        << diagnostics();
    user.send('D', "N1CALL", "N0CALL", "Over KISS\r");
    ASSERT_TRUE(listen([&] { return heard.find("separate line:\r") != std::string::npos; }, 30s))
        << diagnostics();
    user.send('D', "N1CALL", "N0CALL", "Line one\r");
    ASSERT_TRUE(say("/EX", 4)) << diagnostics();
    EXPECT_NE(heard.find(" accepted!\rSMS>"), std::string::npos) << heard;
    sayBye(60s);
}

// About one frame in ten is spoilt on the way, both ways (a quarter of a percent of the
// audio's 10 ms pieces).
TEST_F(DirewolfKiss, LossyChannelStillDeliversEveryByteOnceAndInOrder) {
    startKissNode("--drop 0.25 --seed 5");
    if (IsSkipped() || HasFatalFailure()) return;
    listAndReadTheBigMessage(120s);
    if (HasFatalFailure()) return;
    sayBye(90s);
}

TEST_F(DirewolfKiss, AUserStationThatVanishesFreesTheStreamAfterItsRetries) {
    startKissNode({}, 3);
    if (IsSkipped() || HasFatalFailure()) return;
    // The user asks for the help text and is gone before it arrives.
    user.send('D', "N1CALL", "N0CALL", "H\r");
    userStation.stop();
    QElapsedTimer timer;
    timer.start();
    while (logText().find("1/A: DISCONNECTED") == std::string::npos && timer.elapsed() < 90000)
        QThread::msleep(200);
    const std::string log = logText();
    EXPECT_NE(log.find("1/A: link to N1CALL failed: retry count exceeded (3) @ "),
              std::string::npos)
        << log << diagnostics();
    EXPECT_NE(log.find("1/A: DISCONNECTED from N1CALL @ "), std::string::npos) << log;
}
