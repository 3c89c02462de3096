// The running smsd over loopback: round trips, refusals (reset or a read error text),
// concurrent clients, a stored database and a clean stop.
#include "smsd_process.h"

#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <vector>

using namespace gwtest;

namespace {
const QStringList kAccount{"--node", "gw1mbo:s3|cr\\t"};
const std::string kAuth = "GW1MBO|s3\\1cr\\0t|";

std::string send(const std::string& from, const std::string& mid, const std::string& to,
                 const std::string& cc, const std::string& subject, const std::string& body) {
    std::string text = "S|" + kAuth + from + "|" + mid + "|\r\nMid: " + mid +
                       "\r\nDate: 2026/04/30 21:15\r\nFrom: " + from + "\r\nTo: " + to + "\r\n";
    if (!cc.empty()) text += "Cc: " + cc + "\r\n";
    return text + "Subject: " + subject + "\r\n\r\n" + body + "\r\n/EX\r\n";
}
} // namespace

TEST(SmsdServer, SendListReadKillRoundTrip) {
    SmsdProcess smsd(kAccount);
    ASSERT_TRUE(smsd.running()) << smsd.log();
    Exchange stored = exchange(smsd.port(), send("N0CALL", "SMS_RT000001", "n5call", "N6CALL",
                                                 "Field | day", "First\r\nSecond\r\n"));
    EXPECT_TRUE(stored.closed);
    EXPECT_EQ(stored.reply, "");

    Exchange list = exchange(smsd.port(), "L|" + kAuth + "N5CALL|\r\n");
    EXPECT_TRUE(list.closed);
    EXPECT_EQ(list.reply, "SMS_RT000001|2026/04/30 21:15|15|N0CALL|Field \\1 day\r\n");

    Exchange read = exchange(smsd.port(), "R|" + kAuth + "N6CALL|SMS_RT000001|\r\n");
    EXPECT_TRUE(read.closed);
    EXPECT_EQ(read.reply,
              "Mid: SMS_RT000001\r\nDate: 2026/04/30 21:15\r\nFrom: N0CALL\r\nTo: N5CALL\r\n"
              "Cc: N6CALL\r\nSubject: Field | day\r\n\r\nFirst\r\nSecond\r\n\r\n/EX\r\n");

    Exchange kill = exchange(smsd.port(), "K|" + kAuth + "N5CALL|SMS_RT000001|\r\n");
    EXPECT_TRUE(kill.closed);
    EXPECT_EQ(exchange(smsd.port(), "L|" + kAuth + "N5CALL|\r\n").reply, "")
        << "delivered for N5CALL";
    EXPECT_NE(exchange(smsd.port(), "L|" + kAuth + "N6CALL|\r\n").reply, "")
        << "still waiting for the Cc";
    const std::string log = smsd.log();
    EXPECT_NE(log.find("K GW1MBO N5CALL SMS_RT000001: marked delivered"), std::string::npos) << log;
}

TEST(SmsdServer, EscapedMidsTravelBothWays) {
    SmsdProcess smsd(kAccount);
    ASSERT_TRUE(smsd.running());
    EXPECT_TRUE(exchange(smsd.port(), send("N0CALL", "A\\1B\\0C", "N5CALL", "", "s", "b")).closed);
    EXPECT_EQ(exchange(smsd.port(), "L|" + kAuth + "N5CALL|\r\n").reply.substr(0, 8), "A\\1B\\0C|");
    Exchange read = exchange(smsd.port(), "R|" + kAuth + "N5CALL|A\\1B\\0C|\r\n");
    EXPECT_EQ(read.reply.substr(0, 12), "Mid: A|B\\C\r\n");
}

TEST(SmsdServer, RefusalsResetExceptReadAndSendAnswers) {
    SmsdProcess smsd(kAccount);
    ASSERT_TRUE(smsd.running());
    ASSERT_TRUE(exchange(smsd.port(), send("N0CALL", "SMS_DUP", "N5CALL", "", "s", "b")).closed);
    const std::vector<std::string> resets = {
        "L|GW1MBO|wrong|N5CALL|\r\n",          "L|NOBODY|s3\\1cr\\0t|N5CALL|\r\n",
        "K|" + kAuth + "N5CALL|SMS_NONE|\r\n", "K|" + kAuth + "N7CALL|SMS_DUP|\r\n",
        "Q|" + kAuth + "N5CALL|\r\n",          "L|" + kAuth + "\r\n",
    };
    for (const std::string& request : resets) {
        const Exchange result = exchange(smsd.port(), request);
        EXPECT_TRUE(result.reset) << request;
        EXPECT_EQ(result.reply, "") << request;
    }
    // A send's refusals are answered, so that the node can tell them from a lost connection,
    // and a MID stored already is named as such.
    const std::vector<std::pair<std::string, std::string>> answered = {
        {send("N0CALL", "SMS_DUP", "N5CALL", "", "again", "b"), "MID already stored: SMS_DUP\r\n"},
        {send("N0CALL", "SMS_NOTO", "", "", "s", "b"), "No destination\r\n"},
        {"S|GW1MBO|wrong|N0CALL|SMS_X|\r\nTo: N5CALL\r\n\r\nb\r\n/EX\r\n",
         "Access denied for GW1MBO\r\n"},
    };
    for (const auto& [request, text] : answered) {
        const Exchange result = exchange(smsd.port(), request);
        EXPECT_TRUE(result.closed) << request;
        EXPECT_EQ(result.reply, text) << request;
    }
    Exchange unknown = exchange(smsd.port(), "R|" + kAuth + "N5CALL|SMS_NONE|\r\n");
    EXPECT_TRUE(unknown.closed);
    EXPECT_EQ(unknown.reply, "No such message: SMS_NONE");
    Exchange notYours = exchange(smsd.port(), "R|" + kAuth + "N9CALL|SMS_DUP|\r\n");
    EXPECT_EQ(notYours.reply, "No such message: SMS_DUP");
    Exchange denied = exchange(smsd.port(), "R|GW1MBO|wrong|N5CALL|SMS_DUP|\r\n");
    EXPECT_TRUE(denied.closed);
    EXPECT_EQ(denied.reply.find("\r\n\r\n"), std::string::npos)
        << "no empty line: the node reads an error";
    EXPECT_EQ(exchange(smsd.port(), "L|" + kAuth + "N5CALL|\r\n").reply.find("again"),
              std::string::npos)
        << "the duplicate MID did not replace the stored message";
}

TEST(SmsdServer, ServesConcurrentClients) {
    SmsdProcess smsd(kAccount);
    ASSERT_TRUE(smsd.running());
    // Several clients hold half-sent requests while others come and go.
    std::vector<int> waiting;
    for (int i = 0; i < 8; ++i) {
        const int fd = connectTo(smsd.port());
        ASSERT_GE(fd, 0);
        const std::string half =
            "S|" + kAuth + "N0CALL|SMS_CC" + std::to_string(i) + "|\r\nTo: N5CALL\r\n";
        ASSERT_EQ(::send(fd, half.data(), half.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(half.size()));
        waiting.push_back(fd);
    }
    Exchange meanwhile = exchange(smsd.port(), "L|" + kAuth + "N5CALL|\r\n");
    EXPECT_TRUE(meanwhile.closed) << "a complete request is answered while others are unfinished";
    EXPECT_EQ(meanwhile.reply, "");
    for (int fd : waiting) {
        const std::string rest = "Subject: s\r\n\r\nbody\r\n/EX\r\n";
        ASSERT_EQ(::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(rest.size()));
    }
    for (int fd : waiting)
        EXPECT_TRUE(finish(fd).closed);
    const std::string list = exchange(smsd.port(), "L|" + kAuth + "N5CALL|\r\n").reply;
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 8) << list;
}

TEST(SmsdServer, KeepsMessagesInItsDatabaseAndStopsOnSigterm) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString db = folder.filePath("store.sqlite");
    {
        SmsdProcess smsd(kAccount + QStringList{"--db", db, "--seed"});
        ASSERT_TRUE(smsd.running()) << smsd.log();
        EXPECT_TRUE(
            exchange(smsd.port(), send("N0CALL", "SMS_KEEP", "N5CALL", "", "kept", "b")).closed);
        EXPECT_EQ(smsd.terminate(), 0);
        const std::string log = smsd.log();
        EXPECT_NE(log.find("seeded 3 sample message(s)"), std::string::npos) << log;
        EXPECT_NE(log.find("stopped"), std::string::npos) << log;
    }
    SmsdProcess again(kAccount + QStringList{"--db", db, "--seed"});
    ASSERT_TRUE(again.running());
    EXPECT_NE(exchange(again.port(), "L|" + kAuth + "N5CALL|\r\n").reply.find("SMS_KEEP|"),
              std::string::npos);
    EXPECT_EQ(exchange(again.port(), "L|" + kAuth + "N0CALL|\r\n").reply.find("SMS_SEED0001|"), 0u);
    EXPECT_NE(again.log().find("seeded 0 sample message(s)"), std::string::npos)
        << "seeding is idempotent";
}

TEST(SmsdServer, RefusesBadCommandLines) {
    SmsdProcess badPort(QStringList{"--port", "70000"});
    EXPECT_FALSE(badPort.running());
    SmsdProcess noSlot(QStringList{"--max-per-address", "0"});
    EXPECT_FALSE(noSlot.running());
    SmsdProcess badAccount(QStringList{"--node", "NOPASSWORD"});
    EXPECT_FALSE(badAccount.running());
    EXPECT_NE(badAccount.log().find("bad --node value"), std::string::npos);
}
