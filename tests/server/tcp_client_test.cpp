// TcpClient against loopback servers: connect status, data order, a normal close against a
// reset, partial sends and the errors raised to the caller.
#include "server/tcp_client.h"

#include "common/node_error.h"
#include "link_test_support.h"
#include "scripted_server.h"

#include <gtest/gtest.h>

using namespace gw;
using namespace gwtest;

namespace {
struct Events {
    std::vector<std::pair<int, std::string>> connected;
    std::string data;
    std::vector<std::pair<int, std::string>> disconnected;
    std::vector<std::pair<int, std::string>> errors;
    bool ended() const { return !disconnected.empty() || !errors.empty(); }
};

void watch(TcpClient& client, Events& events) {
    QObject::connect(&client, &TcpClient::connected, [&](int status, const std::string& text) {
        events.connected.emplace_back(status, text);
    });
    QObject::connect(&client, &TcpClient::dataIn,
                     [&](const std::string& text) { events.data += text; });
    QObject::connect(&client, &TcpClient::disconnected, [&](int status, const std::string& text) {
        events.disconnected.emplace_back(status, text);
    });
    QObject::connect(&client, &TcpClient::errorOccurred, [&](int number, const std::string& text) {
        events.errors.emplace_back(number, text);
    });
}

std::string pattern(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return text;
}
} // namespace

TEST(TcpClient, ExchangeEndsWithOkOnNormalClose) {
    const std::string reply = pattern(300'000);
    ScriptedServer server([&](int fd, int connection, ScriptedServer& s) {
        s.record(connection, s.readUntil(fd, "\r\n"));
        ScriptedServer::sendAll(fd, reply);
    });
    TcpClient client;
    Events events;
    watch(client, events);
    client.setRemoteHost("127.0.0.1");
    client.setRemotePort(server.port());
    client.open();
    EXPECT_EQ(client.state(), TcpClient::State::Connecting);
    ASSERT_TRUE(pumpUntil([&] { return !events.connected.empty(); }));
    EXPECT_EQ(events.connected.front().first, 0);
    EXPECT_TRUE(client.isConnected());
    EXPECT_EQ(client.localAddress(), "127.0.0.1");
    client.send("HELLO|\r\n");
    EXPECT_EQ(client.bytesSent(), 8);
    ASSERT_TRUE(pumpUntil([&] { return events.ended(); }));
    EXPECT_TRUE(events.errors.empty());
    ASSERT_EQ(events.disconnected.size(), 1u);
    EXPECT_EQ(events.disconnected.front().second, "OK");
    EXPECT_EQ(events.data, reply) << "every piece once, in order";
    EXPECT_EQ(client.bytesReceived(), reply.size());
    EXPECT_EQ(client.state(), TcpClient::State::Closed);
    EXPECT_EQ(server.received().at(0), "HELLO|\r\n");
}

TEST(TcpClient, ResetAfterPartialDataIsAnErrorNotOk) {
    ScriptedServer server([](int fd, int, ScriptedServer& s) {
        s.readUntil(fd, "\r\n");
        ScriptedServer::sendAll(fd, "partial");
        ScriptedServer::reset(fd);
    });
    TcpClient client;
    Events events;
    watch(client, events);
    client.setRemoteHost("127.0.0.1");
    client.setRemotePort(server.port());
    client.open();
    ASSERT_TRUE(pumpUntil([&] { return !events.connected.empty(); }));
    client.send("X\r\n");
    ASSERT_TRUE(pumpUntil([&] { return events.ended(); }));
    EXPECT_TRUE(events.disconnected.empty());
    EXPECT_EQ(events.data, "partial") << "text that arrived before the reset is delivered first";
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors.front().first, 10054);
    EXPECT_EQ(events.errors.front().second, "Connection reset by peer");
    EXPECT_EQ(client.state(), TcpClient::State::Closed);
}

TEST(TcpClient, RefusedConnectionReportsStatusAndText) {
    TcpClient client;
    Events events;
    watch(client, events);
    client.setRemoteHost("127.0.0.1");
    client.setRemotePort(closedPort());
    client.open();
    ASSERT_TRUE(pumpUntil([&] { return !events.connected.empty(); }));
    EXPECT_EQ(events.connected.front().first, 10061);
    EXPECT_EQ(events.connected.front().second, "Connection refused");
    EXPECT_EQ(client.state(), TcpClient::State::Closed);
    EXPECT_FALSE(events.ended());
}

TEST(TcpClient, HostNamesAreResolved) {
    ScriptedServer server([](int fd, int, ScriptedServer& s) { s.readUntil(fd, "\r\n"); });
    TcpClient client;
    Events events;
    watch(client, events);
    client.setRemoteHost("localhost");
    client.setRemotePort(server.port());
    client.open();
    ASSERT_TRUE(pumpUntil([&] { return !events.connected.empty(); }));
    // localhost may resolve to ::1 first, where this server does not listen.
    EXPECT_TRUE(events.connected.front().first == 0 || events.connected.front().first == 10061)
        << events.connected.front().second;
}

TEST(TcpClient, PartialSendRaisesWouldBlockWithTheAcceptedCount) {
    std::atomic<bool> drain{false};
    ScriptedServer server([&](int fd, int connection, ScriptedServer& s) {
        while (!drain && !s.stopping())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        s.record(connection, s.readUntil(fd, "END", std::chrono::seconds(20)));
    });
    TcpClient client;
    Events events;
    watch(client, events);
    client.setRemoteHost("127.0.0.1");
    client.setRemotePort(server.port());
    client.open();
    ASSERT_TRUE(pumpUntil([&] { return !events.connected.empty(); }));
    std::string text = pattern(32 * 1024 * 1024) + "END";
    const std::string whole = text;
    bool blocked = false;
    for (int attempt = 0; attempt < 100'000 && !text.empty(); ++attempt) {
        try {
            client.send(text);
            text.clear();
        } catch (const NodeError& error) {
            ASSERT_EQ(error.number(), TcpClient::kErrorWouldBlock);
            EXPECT_GE(client.bytesSent(), 0);
            EXPECT_LT(client.bytesSent(), static_cast<long>(text.size()));
            text.erase(0, static_cast<std::size_t>(client.bytesSent()));
            blocked = true;
            drain = true;
            gw::QtEventPump().pump(std::chrono::milliseconds(5));
        }
    }
    EXPECT_TRUE(blocked) << "32 MiB must overrun the socket buffers";
    EXPECT_TRUE(text.empty());
    ASSERT_TRUE(pumpUntil([&] { return events.ended(); }));
    EXPECT_EQ(server.received().at(0), whole) << "nothing lost or repeated across partial sends";
}

TEST(TcpClient, RefusesOperationsInTheWrongState) {
    ScriptedServer server([](int fd, int, ScriptedServer& s) { s.waitForClose(fd); });
    TcpClient client;
    client.setRemoteHost("127.0.0.1");
    client.setRemotePort(server.port());
    try {
        client.send("x");
        ADD_FAILURE() << "send without a connection must raise";
    } catch (const NodeError& error) {
        EXPECT_EQ(error.number(), TcpClient::kErrorNotConnected);
    }
    client.open();
    try {
        client.open();
        ADD_FAILURE() << "a second open must raise";
    } catch (const NodeError& error) {
        EXPECT_EQ(error.number(), TcpClient::kErrorInvalidState);
    }
    client.close();
    client.close();
    EXPECT_EQ(client.state(), TcpClient::State::Closed);
    EXPECT_FALSE(client.localAddress().empty());
}

TEST(TcpClient, EventsOfAClosedConnectionAreDropped) {
    TcpClient client;
    Events events;
    watch(client, events);
    client.setRemoteHost("127.0.0.1");
    client.setRemotePort(closedPort());
    client.open();
    client.close();
    pumpUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_TRUE(events.connected.empty());
}
