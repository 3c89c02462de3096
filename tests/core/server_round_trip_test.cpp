// Two radio users on two streams through the whole request path: interpreter, command
// queue, the server link against a real smsd on 127.0.0.1, reply queue and reply tick. The
// password and a subject carry the field separator and the escape character both ways; the
// core's counters and stream state follow the requests and the server's loss.
#include "main_fixture.h"

#include "server/frm_brevane.h"
#include "smsd_process.h"

#include <QCoreApplication>
#include <algorithm>

using namespace gw;
using namespace gw::test;

namespace {
class ServerRoundTrip : public NodeCoreTest {
  protected:
    explicit ServerRoundTrip(const QStringList& extra = {})
        : smsd(QStringList{"--node", "N0CALL:S3|CR\\T", "--seed"} + extra) {}

    gwtest::SmsdProcess smsd;
    QtEventPump pump;
    std::unique_ptr<frmBrevane> link;

    void SetUp() override {
        setup.pass = "S3|CR\\T";
        NodeCoreTest::SetUp();
        ASSERT_TRUE(smsd.running()) << smsd.log();
        link = std::make_unique<frmBrevane>(queues, core, pump,
                                            frmBrevane::Options{smsd.port(), false});
        link->Load();
        connectUser("A", "N0CALL");
        connectUser("B", "N1CALL");
    }
    // Runs both one-second timers by hand until every request has been answered and
    // delivered (bounded to 10 s of real time).
    void runUntilDelivered() {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10'000) {
            if (!link->busy()) link->tick();
            core.poll();
            if (queues.CommandQueue.Count() == 0 && queues.ReplyQueue.Count() == 0 && !link->busy())
                return;
            pump.pump(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "requests still pending after 10 s";
    }
    // The MIDs of the user's waiting messages as the server lists them.
    std::string listedFor(const std::string& letter) {
        say(letter, "LM\r");
        runUntilDelivered();
        return received()[letter];
    }
    // What each stream received since the last call.
    std::map<std::string, std::string> received() {
        std::map<std::string, std::string> byStream;
        for (const auto& sent : radio.data)
            byStream[sent.stream] += sent.text;
        radio.data.clear();
        return byStream;
    }
};

// The server stores the first message it is sent and then loses the answer.
class LostAnswer : public ServerRoundTrip {
  protected:
    LostAnswer() : ServerRoundTrip({"--lose-answers", "1"}) {}
};
} // namespace

TEST_F(ServerRoundTrip, ListReadSendAndKillForTwoUsers) {
    say("A", "LM\r");
    say("B", "lm\r");
    runUntilDelivered();
    auto got = received();
    EXPECT_EQ(got["A"], "(1) SMS_SEED0001  2026/05/01 09:15  81  N1CALL  Welcome to the node\r"
                        "(2) SMS_SEED0002  2026/05/02 18:40  52  N2CALL  Net tonight\r\rSMS>");
    EXPECT_EQ(got["B"], "(1) SMS_SEED0002  2026/05/02 18:40  52  N2CALL  Net tonight\r"
                        "(2) SMS_SEED0003  2026/05/03 07:05  36  N0CALL  Antenna party\r\rSMS>");

    say("A", "R 1\r");
    say("B", "SP n0call\r");
    const std::string mid = core.streams()[2].Mid;
    EXPECT_EQ(received()["B"], "Enter the subject for new MID " + mid + " to n0call :\r");
    say("B", "Field | day \\ plans\r");
    say("B", "one\r");
    say("B", "two\r");
    say("B", "/EX\r");
    runUntilDelivered();
    got = received();
    EXPECT_EQ(got["A"], "Mid: SMS_SEED0001\rDate: 2026/05/01 09:15\rFrom: N1CALL\rTo: N0CALL\r"
                        "Subject: Welcome to the node\rHello from the short-message server.\r"
                        "Type R 1 to read, K 1 to mark it delivered.\rSMS>");
    EXPECT_EQ(got["B"],
              "Enter Msg, end with /EX on a separate line:\rMid: " + mid + " accepted!\rSMS>");

    say("A", "K 1\r");
    runUntilDelivered();
    say("A", "LM\r");
    runUntilDelivered();
    EXPECT_EQ(received()["A"], "Destination N0CALL of Mid: SMS_SEED0001 marked delivered!\rSMS>"
                               "(1) SMS_SEED0002  2026/05/02 18:40  52  N2CALL  Net tonight\r"
                               "(2) " +
                                   mid +
                                   "  2026/05/14 10:30  8  N1CALL  Field | day \\ plans\r\rSMS>");

    const std::string log = logText();
    EXPECT_NE(log.find("1/A N0CALL; 2026/05/14 10:30  MID : SMS_SEED0001 Read.\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("1/B N1CALL; 2026/05/14 10:30  MID : " + mid + " Sent.\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("1/A N0CALL; 2026/05/14 10:30  MID : SMS_SEED0001 Killed.\r\n"),
              std::string::npos);
}

TEST_F(ServerRoundTrip, ReplyIsNotDeliveredToTheUserWhoTookTheStream) {
    // A kill outlives its user (a list would leave the queue with him).
    say("A", "K SMS_NONE1\r");
    core.StatusEvent("S1A*** DISCONNECTED");
    connectUser("A", "W1AW");
    runUntilDelivered();
    EXPECT_EQ(received()["A"], "");
    EXPECT_EQ(core.streams()[1].ListedMids, std::vector<std::string>{""});
    EXPECT_NE(logText().find("1/A: Reply for N0CALL dropped: stream taken by W1AW @ "),
              std::string::npos);
    say("A", "LM\r");
    runUntilDelivered();
    EXPECT_EQ(received()["A"], "<None found>\r\rSMS>") << "the new user gets their own list";
}

TEST_F(LostAnswer, MessageStoredButUnansweredIsSpooledSentAgainAndStoredOnce) {
    say("B", "SP n0call\r");
    const std::string mid = core.streams()[2].Mid;
    say("B", "Lost\r");
    say("B", "one\r");
    say("B", "/EX\r");
    runUntilDelivered();
    EXPECT_NE(received()["B"].find("Mid: " + mid +
                                   " queued; it will be sent when the server can be reached."),
              std::string::npos);
    EXPECT_EQ(core.spool().figures()->waiting, 1);

    clock.advance(NodeCore::kSpoolRetryFirst);
    core.forwardSpoolWhenDue();
    runUntilDelivered();
    EXPECT_EQ(core.spool().figures()->waiting, 0);
    EXPECT_EQ(core.spool().figures()->setAside, 0);
    EXPECT_NE(logText().find("MID : " + mid + " forwarded (the server held it already)."),
              std::string::npos)
        << logText();
    const std::string listed = listedFor("A");
    const std::size_t first = listed.find(mid);
    ASSERT_NE(first, std::string::npos) << listed;
    EXPECT_EQ(listed.find(mid, first + 1), std::string::npos) << "stored once: " << listed;
}

TEST_F(ServerRoundTrip, CountersAndStreamStateFollowRequestsAndTheServersLoss) {
    const Counters& counts = core.counters();
    EXPECT_EQ(counts.sessions, 2u);
    EXPECT_EQ(core.startedAt(), clock.now());
    EXPECT_EQ(core.streams()[2].ConnectedAt, clock.now());
    EXPECT_EQ(core.serverState(), ServerState::Verified);
    const std::uint64_t greeted = counts.bytesToRadio;
    EXPECT_EQ(greeted, 2 * std::string("\rIP connection verified.\rSMS>").size());
    std::uint64_t typed = 0;
    const auto type = [&](const std::string& letter, const std::string& text) {
        typed += text.size();
        say(letter, text);
    };

    clock.advance(std::chrono::seconds(5));
    type("A", "LM\r");
    EXPECT_EQ(core.requestsWaiting(1), 1);
    EXPECT_EQ(core.streams()[1].LastHeard, clock.now());
    EXPECT_EQ(core.streams()[1].LastCommand, "LM");
    runUntilDelivered();
    EXPECT_EQ(core.requestsWaiting(1), 0);
    EXPECT_EQ(counts.requests.at({"list", "ok"}), 1u);
    EXPECT_EQ(core.lastRequest().at, clock.now());
    EXPECT_EQ(core.lastRequest().command, "list");
    EXPECT_EQ(core.lastRequest().outcome, "ok");
    EXPECT_EQ(core.serverState(), ServerState::Closed);
    EXPECT_EQ(counts.serverFailures, 0u);

    // Files count as sent, whatever their size.
    radio.fileSize = 100;
    type("A", "H\r");
    // Control characters go, the line is cut; a subject is never taken for a command.
    type("A", "HELLO\x07" + std::string(50, 'X') + "\r");
    EXPECT_EQ(core.streams()[1].LastCommand, "HELLO" + std::string(35, 'X'));
    type("B", "SP n0call\r");
    type("B", "Secret plans\r");
    type("B", "one\r");
    type("B", "/EX\r");
    EXPECT_EQ(core.streams()[2].LastCommand, "SP n0call");

    // The server is gone: the send is kept in the spool, the list fails, both connections
    // count as failures; a read past the list is refused by the node.
    smsd.kill();
    runUntilDelivered();
    type("A", "LM\r");
    runUntilDelivered();
    type("A", "R 9\r");
    EXPECT_EQ(counts.requests.at({"send", "queued"}), 1u);
    EXPECT_EQ(counts.requests.at({"list", "failed"}), 1u);
    EXPECT_EQ(counts.requests.at({"read", "refused"}), 1u);
    EXPECT_EQ(counts.requests.size(), 4u);
    EXPECT_EQ(counts.serverFailures, 2u);
    EXPECT_EQ(core.lastRequest().outcome, "failed");
    EXPECT_EQ(core.spool().figures()->waiting, 1);
    EXPECT_EQ(core.spool().figures()->oldest, clock.now());

    EXPECT_EQ(counts.bytesFromRadio, typed);
    EXPECT_EQ(counts.bytesToRadio, greeted + radio.fileSize + radio.allData().size());
    // Both streams' lines, numbered one by one from the first.
    const auto& all = core.monitor().all();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front().seq, 1u);
    for (std::size_t i = 1; i < all.size(); ++i)
        ASSERT_EQ(all[i].seq, all[i - 1].seq + 1);
    EXPECT_TRUE(std::any_of(all.begin(), all.end(), [](const auto& l) { return l.index == 2; }));
    // The log's tail is the file's last lines.
    const std::string log = logText();
    const auto& tail = core.nodeLog().tail();
    ASSERT_FALSE(tail.empty());
    std::string last;
    for (const NodeLog::TailLine& line : tail)
        last += line.text + "\r\n";
    EXPECT_TRUE(log.ends_with(last)) << log;
}
