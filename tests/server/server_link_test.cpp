// frmBrevane against scripted loopback servers: one reply per request, in order, for every
// outcome (success, refusal, reset, silence, a flood), with the timeout driven by ticks.
#include "server/frm_brevane.h"

#include "link_test_support.h"
#include "scripted_server.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <thread>

using namespace gw;
using namespace gwtest;

namespace {
std::unique_ptr<CCommand> request(const std::string& command,
                                  const std::string& mid = "SMS_TEST0001") {
    auto c = std::make_unique<CCommand>();
    c->Session = "0412345";
    c->UserCall = "N0CALL";
    c->MBOCall = "GW1MBO";
    c->MBOPassword = "secret";
    c->Command = command;
    c->Mid = mid;
    c->AddressTo = "N1CALL";
    c->Subject = "Test";
    c->Body = "Body";
    c->Originated = QDateTime(QDate(2026, 5, 1), QTime(12, 0));
    return c;
}

struct Link {
    explicit Link(std::uint16_t port) : form(queues, host, pump, frmBrevane::Options{port, false}) {
        form.Load();
    }
    // Ticks until the link has taken a request and that request completed.
    bool tickUntilReplies(std::int32_t replies) {
        return pumpUntil([&] {
            if (!form.busy() && queues.ReplyQueue.Count() < replies) form.tick();
            return queues.ReplyQueue.Count() >= replies;
        });
    }
    ServerQueues queues;
    RecordingHost host;
    QtEventPump pump;
    frmBrevane form;
};

const std::string kListReply = "SMS_A|2026/01/02 03:04|10|N1CALL|One\r\n"
                               "SMS_B|2026/01/03 04:05|20|N2CALL|Two\r\n";
} // namespace

TEST(ServerLink, UnsendableRequestCompletesWithCommandErrorWithoutConnecting) {
    ScriptedServer server([](int, int, ScriptedServer&) {});
    Link link(server.port());
    auto c = request("L");
    c->MBOPassword = "";
    link.queues.CommandQueue.Add(std::move(c));
    link.form.tick();
    ASSERT_EQ(link.queues.ReplyQueue.Count(), 1);
    auto reply = link.queues.ReplyQueue.RemoveFirst();
    EXPECT_EQ(reply->Error, "Command error...");
    EXPECT_EQ(reply->Session, "0412345");
    EXPECT_EQ(reply->Command, "L");
    EXPECT_EQ(reply->MidList, nullptr);
    EXPECT_FALSE(link.form.busy());
    pumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(server.connections(), 0);
    EXPECT_TRUE(link.host.indicators.empty());
}

TEST(ServerLink, TwoRequestsGoOnSeparateConnectionsAndReplyInOrder) {
    ScriptedServer server([](int fd, int connection, ScriptedServer& s) {
        const std::string line = s.readUntil(fd, "\r\n");
        s.record(connection, line);
        ScriptedServer::sendAll(fd, line[0] == 'L' ? kListReply : "");
    });
    Link link(server.port());
    link.queues.CommandQueue.Add(request("L"));
    link.queues.CommandQueue.Add(request("K", "SMS_B"));
    ASSERT_TRUE(link.tickUntilReplies(2));
    EXPECT_EQ(server.connections(), 2);
    const auto received = server.received();
    EXPECT_EQ(received.at(0), "L|GW1MBO|secret|N0CALL|\r\n");
    EXPECT_EQ(received.at(1), "K|GW1MBO|secret|N0CALL|SMS_B|\r\n");

    auto list = link.queues.ReplyQueue.RemoveFirst();
    EXPECT_EQ(list->Command, "L");
    EXPECT_EQ(list->Error, "OK");
    ASSERT_NE(list->MidList, nullptr);
    ASSERT_EQ(list->MidList->Count(), 2);
    EXPECT_EQ(list->MidList->peek(1)->Subject, "Two");
    auto kill = link.queues.ReplyQueue.RemoveFirst();
    EXPECT_EQ(kill->Command, "K");
    EXPECT_EQ(kill->Mid, "SMS_B");
    EXPECT_EQ(kill->Error, "OK");
    using I = ServerIndicator;
    EXPECT_EQ(link.host.indicators,
              (std::vector<I>{I::Connected, I::Closed, I::Connected, I::Closed}));
}

TEST(ServerLink, SilentServerTimesOutOnThe21stTick) {
    std::atomic<bool> closedByNode{false};
    ScriptedServer server([&](int fd, int, ScriptedServer& s) {
        closedByNode = s.waitForClose(fd, std::chrono::seconds(20));
    });
    Link link(server.port());
    link.queues.CommandQueue.Add(request("L"));
    link.form.tick(); // takes the request
    ASSERT_TRUE(link.form.busy());
    ASSERT_TRUE(pumpUntil([&] { return !link.host.indicators.empty(); })) << "connected";
    for (int tick = 1; tick <= 20; ++tick) {
        link.form.tick();
        ASSERT_EQ(link.queues.ReplyQueue.Count(), 0) << "tick " << tick;
        ASSERT_TRUE(link.form.busy());
    }
    link.form.tick();
    ASSERT_EQ(link.queues.ReplyQueue.Count(), 1);
    EXPECT_EQ(link.queues.ReplyQueue.RemoveFirst()->Error, "Response Timeout...");
    EXPECT_FALSE(link.form.busy());
    EXPECT_TRUE(pumpUntil([&] { return closedByNode.load(); })) << "the connection is closed";
}

TEST(ServerLink, RefusedConnectionCompletesWithItsDescription) {
    ServerQueues queues;
    RecordingHost host;
    QtEventPump pump;
    frmBrevane form(queues, host, pump, frmBrevane::Options{closedPort(), false});
    form.Load();
    queues.CommandQueue.Add(request("R"));
    form.tick();
    ASSERT_TRUE(pumpUntil([&] { return queues.ReplyQueue.Count() == 1; }));
    auto reply = queues.ReplyQueue.RemoveFirst();
    EXPECT_EQ(reply->Error, "Connection refused");
    EXPECT_EQ(reply->Mid, "SMS_TEST0001") << "a failed read keeps the request's MID";
    EXPECT_EQ(host.indicators, std::vector<ServerIndicator>{ServerIndicator::Connected})
        << "the indicator turns green even for a failed connect";
    EXPECT_FALSE(form.busy());
}

TEST(ServerLink, ResetAfterPartialDataIsAFailure) {
    ScriptedServer server([](int fd, int, ScriptedServer& s) {
        s.readUntil(fd, "\r\n");
        ScriptedServer::sendAll(fd, "SMS_A|2026/01/02 03:04|10|N1CALL|One\r\n");
        ScriptedServer::reset(fd);
    });
    Link link(server.port());
    link.queues.CommandQueue.Add(request("L"));
    ASSERT_TRUE(link.tickUntilReplies(1));
    auto reply = link.queues.ReplyQueue.RemoveFirst();
    EXPECT_EQ(reply->Error, "Connection reset by peer");
    EXPECT_EQ(reply->MidList, nullptr) << "a failed list is not parsed";
}

TEST(ServerLink, ServerThatClosesSilentlyGivesEmptySuccesses) {
    ScriptedServer server([](int fd, int, ScriptedServer& s) { s.readUntil(fd, "\r\n"); });
    Link link(server.port());
    link.queues.CommandQueue.Add(request("L"));
    link.queues.CommandQueue.Add(request("R"));
    ASSERT_TRUE(link.tickUntilReplies(2));
    auto list = link.queues.ReplyQueue.RemoveFirst();
    EXPECT_EQ(list->Error, "OK");
    ASSERT_NE(list->MidList, nullptr);
    EXPECT_EQ(list->MidList->Count(), 0);
    auto read = link.queues.ReplyQueue.RemoveFirst();
    EXPECT_EQ(read->Error, "")
        << "a read without the empty line fails with the server's (empty) text";
}

TEST(ServerLink, EndlessReplyIsCutAtTheLimitAndMemoryStaysBounded) {
    constexpr std::uint64_t kFlood = 100ull * 1024 * 1024;
    std::atomic<std::uint64_t> sent{0};
    ScriptedServer server([&](int fd, int connection, ScriptedServer& s) {
        s.readUntil(fd, "\r\n");
        if (connection == 0) {
            const std::string chunk(64 * 1024, 'x');
            while (sent < kFlood && !s.stopping()) {
                const ssize_t n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<std::uint64_t>(n);
            }
        } else {
            ScriptedServer::sendAll(fd, kListReply);
        }
    });
    Link link(server.port());
    const long before = residentKiB();
    link.queues.CommandQueue.Add(request("L"));
    ASSERT_TRUE(link.tickUntilReplies(1));
    const long after = residentKiB();
    auto reply = link.queues.ReplyQueue.RemoveFirst();
    EXPECT_EQ(reply->Error, "Reply too large...");
    EXPECT_EQ(reply->MidList, nullptr);
    EXPECT_LE(reply->replySize(), frmBrevane::kMaxReplySize);
    EXPECT_LE(link.form.tcp().bytesReceived(), frmBrevane::kMaxReplySize + 64 * 1024)
        << "the node stops reading once the limit is passed";
    EXPECT_LT(after - before, 32 * 1024)
        << "resident memory grew by " << (after - before) << " KiB";
    EXPECT_LT(sent.load(), kFlood);
    std::cerr << "flood: server sent " << sent.load() / 1024 << " KiB before the close, node read "
              << link.form.tcp().bytesReceived() / 1024 << " KiB, RSS " << before << " -> " << after
              << " KiB\n";

    // The next request starts clean: nothing of the flood reaches it.
    link.queues.CommandQueue.Add(request("L"));
    ASSERT_TRUE(link.tickUntilReplies(1));
    auto next = link.queues.ReplyQueue.RemoveFirst();
    EXPECT_EQ(next->Error, "OK");
    EXPECT_EQ(next->replyText(), kListReply);
    ASSERT_NE(next->MidList, nullptr);
    EXPECT_EQ(next->MidList->Count(), 2);
}

TEST(ServerLink, LargeRequestIsSentWholeAcrossPartialSends) {
    std::atomic<bool> drain{false};
    ScriptedServer server([&](int fd, int connection, ScriptedServer& s) {
        while (!drain && !s.stopping())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        s.record(connection, s.readUntil(fd, "/EX\r\n", std::chrono::seconds(20)));
    });
    Link link(server.port());
    auto c = request("S");
    c->Body = std::string(24 * 1024 * 1024, 'b');
    const std::string expected = CCommand(*c).CommandToServer();
    link.queues.CommandQueue.Add(std::move(c));
    link.form.tick();
    // The send loop pumps events while the socket is full; this timer lets the server read.
    QTimer::singleShot(200, [&] { drain = true; });
    ASSERT_TRUE(
        pumpUntil([&] { return link.queues.ReplyQueue.Count() == 1; }, std::chrono::seconds(20)));
    EXPECT_EQ(link.queues.ReplyQueue.RemoveFirst()->Error, "OK");
    EXPECT_TRUE(server.received().at(0) == expected)
        << "received " << server.received().at(0).size() << " of " << expected.size()
        << " characters";
}

TEST(ServerLink, TimeoutDuringABlockedSendEndsTheRequestOnce) {
    ScriptedServer server(
        [](int fd, int, ScriptedServer& s) { s.waitForClose(fd, std::chrono::seconds(20)); });
    Link link(server.port());
    auto c = request("S");
    c->Body = std::string(64 * 1024 * 1024, 'b');
    link.queues.CommandQueue.Add(std::move(c));
    link.queues.CommandQueue.Add(request("K"));
    link.form.tick();
    // The server never reads: the send loop waits, and the ticks that run inside it time out.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        link.form.tick();
    });
    ticker.start(1);
    ASSERT_TRUE(
        pumpUntil([&] { return link.queues.ReplyQueue.Count() == 2; }, std::chrono::seconds(20)));
    ticker.stop();
    EXPECT_EQ(link.queues.ReplyQueue.RemoveFirst()->Error, "Response Timeout...");
    auto second = link.queues.ReplyQueue.RemoveFirst();
    EXPECT_EQ(second->Command, "K");
    EXPECT_EQ(second->Error, "Response Timeout...")
        << "the K request is not answered by this server either";
    EXPECT_GE(ticks, 42);
}

TEST(ServerLink, UnloadCompletesTheRequestInFlight) {
    ScriptedServer server([](int fd, int, ScriptedServer& s) { s.waitForClose(fd); });
    Link link(server.port());
    link.queues.CommandQueue.Add(request("L"));
    link.form.tick();
    link.form.Unload();
    ASSERT_EQ(link.queues.ReplyQueue.Count(), 1);
    EXPECT_EQ(link.queues.ReplyQueue.RemoveFirst()->Error, "Server link closed...");
    EXPECT_FALSE(link.form.busy());
    EXPECT_FALSE(link.form.isLoaded());
}
