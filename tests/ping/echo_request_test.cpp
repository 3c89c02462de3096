// The echo request on the fake socket library: what goes on the wire, how answers are matched,
// timeouts, unreachable answers, runts, nested requests and the datagram fallback.
#include "control_fixture.h"

#include "ping/winsock.h"
#include "pingclient/error_events.h"

#include <cstring>

namespace pingtest {
namespace {

using ping::winsock::kIpProtoIp;
using ping::winsock::kSolSocket;

TEST_F(ControlTest, EchoReplySetsSourceAndTimeAndIgnoresTheRequestsOwnCopy) {
    net->onSend = [this](const Sent& s) {
        pump.script = [this, s](int step) {
            if (step == 1) // a raw socket sees its own request first
                net->deliver(s.socket, withIpHeader(s.bytes, address("127.0.0.1"), s.address),
                             address("127.0.0.1"));
            if (step == 3)
                net->deliver(s.socket, withIpHeader(echoReplyTo(s.bytes), s.address, s.address),
                             s.address);
            return true;
        };
    };
    ASSERT_EQ(control->PingHost("10.1.2.3"), S_OK);
    std::string source;
    int32_t time = -1;
    control->get_ResponseSource(&source);
    control->get_ResponseTime(&time);
    EXPECT_EQ(source, "10.1.2.3");
    EXPECT_EQ(time, 20); // the answer came during the third 10 ms step
    EXPECT_EQ(pump.steps, 3);
    EXPECT_FALSE(net->isOpen(net->lastSocket()));
    std::string remote;
    control->get_RemoteHost(&remote);
    EXPECT_EQ(remote, "10.1.2.3");
}

TEST_F(ControlTest, RequestOnTheWireHasTypeCodeChecksumIdentifierAndFiller) {
    answerEchoes("127.0.0.1");
    ASSERT_EQ(control->PingHost("127.0.0.1"), S_OK);
    ASSERT_EQ(net->sent.size(), 1u);
    const auto& bytes = net->sent[0].bytes;
    ASSERT_EQ(bytes.size(), 64u);
    EXPECT_EQ(bytes[0], 8);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(referenceChecksum(bytes), 0) << "checksum over the message must verify";
    EXPECT_EQ(std::count(bytes.begin() + 8, bytes.end(), '*'), 56);
    EXPECT_EQ(net->sent[0].address, address("127.0.0.1"));
}

TEST_F(ControlTest, PacketSizeLimitsAndWhatIsSent) {
    answerEchoes("127.0.0.1");
    control->put_PacketSize(8);
    ASSERT_EQ(control->PingHost("127.0.0.1"), S_OK);
    ASSERT_EQ(net->sent.back().bytes.size(), 8u);
    EXPECT_EQ(std::count(net->sent.back().bytes.begin(), net->sent.back().bytes.end(), '*'), 0);

    control->put_PacketSize(2052);
    ASSERT_EQ(control->PingHost("127.0.0.1"), S_OK);
    EXPECT_EQ(net->sent.back().bytes.size(), 2052u);

    control->put_PacketSize(2053);
    const size_t sentBefore = net->sent.size();
    EXPECT_EQ(control->PingHost("127.0.0.1"), controlError(20119));
    EXPECT_EQ(lastError().description, "Message can't be longer than MaxMessageSize.");
    EXPECT_EQ(lastError().helpContext, 44402u);
    EXPECT_EQ(net->sent.size(), sentBefore);
    EXPECT_FALSE(net->isOpen(net->lastSocket()));
}

TEST_F(ControlTest, SocketOptionsAreSetBeforeSendingAndBroadcastIsAllowed) {
    control->put_TimeToLive(0x10020); // only the low 16 bits are kept
    control->put_QOSFlags(0x10);
    net->onSend = [this](const Sent& s) {
        // Everything must be in place when the request leaves.
        EXPECT_EQ(net->optionValue(s.socket, kSolSocket, ping::winsock::kSoBroadcast), 1);
        EXPECT_EQ(net->optionValue(s.socket, kSolSocket, ping::winsock::kSoRcvBuf), 2048);
        EXPECT_EQ(net->optionValue(s.socket, kSolSocket, ping::winsock::kSoSndBuf), 2048);
        EXPECT_EQ(net->optionValue(s.socket, kIpProtoIp, ping::winsock::kIpTtl), 0x20);
        EXPECT_EQ(net->optionValue(s.socket, kIpProtoIp, ping::winsock::kIpTos), 0x10);
        net->deliver(s.socket, withIpHeader(echoReplyTo(s.bytes), address("10.0.0.9"), s.address),
                     address("10.0.0.9"));
    };
    ASSERT_EQ(control->PingHost("255.255.255.255"), S_OK);
    ASSERT_EQ(net->sent.size(), 1u);
    EXPECT_EQ(net->sent[0].address, 0xFFFFFFFFu);
    EXPECT_TRUE(net->lookups.empty()) << "the broadcast address is not a name to look up";
    std::string source;
    control->get_ResponseSource(&source);
    EXPECT_EQ(source, "10.0.0.9");
}

TEST_F(ControlTest, OptionsLeftAtZeroAreNotSet) {
    answerEchoes("127.0.0.1");
    ASSERT_EQ(control->PingHost("127.0.0.1"), S_OK);
    const int s = net->lastSocket();
    EXPECT_EQ(net->optionValue(s, kIpProtoIp, ping::winsock::kIpTtl), -1);
    EXPECT_EQ(net->optionValue(s, kIpProtoIp, ping::winsock::kIpTos), -1);
}

TEST_F(ControlTest, OptionsChangedDuringARequestApplyAtOnceAndReadFromTheSocket) {
    net->onSend = [this](const Sent& s) {
        pump.script = [this, s](int step) {
            if (step == 1) {
                EXPECT_EQ(control->put_TimeToLive(33), S_OK);
                EXPECT_EQ(control->put_QOSFlags(0x18), S_OK);
                EXPECT_EQ(net->optionValue(s.socket, kIpProtoIp, ping::winsock::kIpTtl), 33);
                int32_t qos = 0;
                control->get_QOSFlags(&qos);
                EXPECT_EQ(qos, 0x18);
                std::string local;
                EXPECT_EQ(control->put_LocalHost("10.0.0.1"), controlError(20108));
                EXPECT_EQ(lastError().description,
                          "Cannot change LocalHost when Echolite is Active.");
                net->deliver(s.socket, withIpHeader(echoReplyTo(s.bytes), s.address, s.address),
                             s.address);
            }
            return true;
        };
    };
    ASSERT_EQ(control->PingHost("10.0.0.7"), S_OK);
    int32_t ttl = 0;
    control->get_TimeToLive(&ttl);
    EXPECT_EQ(ttl, 33);
}

TEST_F(ControlTest, TimeoutStopsTheWaitWithResponseTimeZero) {
    answerEchoes("127.0.0.1");
    ASSERT_EQ(control->PingHost("127.0.0.1"), S_OK);
    net->onSend = nullptr;
    pump.script = nullptr;
    pump.steps = 0;
    control->put_Timeout(2);
    EXPECT_EQ(control->PingHost("127.0.0.1"), controlError(20302));
    EXPECT_EQ(lastError().description, "Timeout.");
    int32_t time = -1;
    control->get_ResponseTime(&time);
    EXPECT_EQ(time, 0);
    EXPECT_EQ(pump.steps, 201); // 10 ms steps until the tick count passes the 2 s deadline
    EXPECT_FALSE(net->isOpen(net->lastSocket()));
}

TEST_F(ControlTest, TimeoutZeroWaitsUntilTheAnswerHoweverLong) {
    control->put_Timeout(0);
    net->onSend = [this](const Sent& s) {
        pump.script = [this, s](int step) {
            if (step == 50000)
                net->deliver(s.socket, withIpHeader(echoReplyTo(s.bytes), s.address, s.address),
                             s.address);
            return step <= 50000;
        };
    };
    EXPECT_EQ(control->PingHost("10.0.0.5"), S_OK);
    EXPECT_EQ(pump.steps, 50000);
}

TEST_F(ControlTest, QuitDuringTheWaitIsInterrupted) {
    net->onSend = [this](const Sent&) { pump.script = [](int step) { return step < 3; }; };
    EXPECT_EQ(control->PingHost("10.0.0.5"), controlError(20302));
    EXPECT_EQ(lastError().description, "Interrupted.");
}

TEST_F(ControlTest, DestinationUnreachableEndsTheRequestWithItsText) {
    net->onSend = [this](const Sent& s) {
        net->deliver(s.socket,
                     withIpHeader(unreachableFor(s.bytes, 3, s.address), address("10.9.9.1"),
                                  address("127.0.0.1")),
                     address("10.9.9.1"));
    };
    EXPECT_EQ(control->PingHost("10.0.0.5"), controlError(20128));
    EXPECT_EQ(lastError().description, "Port unreachable.");
    std::string source;
    control->get_ResponseSource(&source);
    EXPECT_EQ(source, "10.9.9.1");

    net->onSend = [this](const Sent& s) {
        net->deliver(s.socket,
                     withIpHeader(unreachableFor(s.bytes, 13, s.address), address("10.9.9.1"),
                                  address("127.0.0.1")),
                     address("10.9.9.1"));
    };
    EXPECT_EQ(control->PingHost("10.0.0.5"), controlError(20128));
    EXPECT_EQ(lastError().description, "Destination unreachable: 13.");
}

TEST_F(ControlTest, AnswersToOtherRequestsAreIgnored) {
    control->put_Timeout(1);
    net->onSend = [this](const Sent& s) {
        auto other = s.bytes;
        other[4] ^= 0xFF; // another request's identifier
        net->deliver(s.socket, withIpHeader(echoReplyTo(other), s.address, s.address), s.address);
        net->deliver(s.socket,
                     withIpHeader(unreachableFor(other, 1, s.address), s.address, s.address),
                     s.address);
        std::vector<uint8_t> timeExceeded = unreachableFor(s.bytes, 0, s.address);
        timeExceeded[0] = 11;
        net->deliver(s.socket, withIpHeader(timeExceeded, s.address, s.address), s.address);
    };
    EXPECT_EQ(control->PingHost("10.0.0.5"), controlError(20302));
    EXPECT_EQ(lastError().description, "Timeout.");
}

TEST_F(ControlTest, RuntAndReceiveFailuresRaiseTheErrorEventAndTheRequestGoesOn) {
    ErrorSink sink;
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(control->findConnectionPoint(pinglib::DIID__IPingEvents, point.out()), S_OK);
    uint32_t cookie = 0;
    ASSERT_EQ(point->advise(&sink, &cookie), S_OK);
    // What a host hears through its subscription.
    std::vector<std::pair<int16_t, std::string>> heard;
    const pingclient::ErrorEvents events(
        *static_cast<pinglib::IPing*>(control.get()),
        [&heard](int16_t code, const std::string& text) { heard.emplace_back(code, text); });
    net->onSend = [this](const Sent& s) {
        pump.script = [this, s](int step) {
            if (step == 1) net->deliver(s.socket, {0, 0, 0}, s.address);
            if (step == 2) {
                net->failNextRecv = 10054;
                net->deliver(s.socket, {}, s.address);
            }
            if (step == 3) net->notify(s.socket); // now the empty datagram is read
            if (step == 4)
                net->deliver(s.socket, withIpHeader(echoReplyTo(s.bytes), s.address, s.address),
                             s.address);
            return true;
        };
    };
    EXPECT_EQ(control->PingHost("10.0.0.5"), S_OK);
    ASSERT_EQ(sink.events.size(), 3u);
    EXPECT_EQ(sink.events[0], (std::pair<int16_t, std::string>(119, "Message too short.")));
    EXPECT_EQ(sink.events[1], (std::pair<int16_t, std::string>(10054, "Winsock error in recv()")));
    EXPECT_EQ(sink.events[2], (std::pair<int16_t, std::string>(119, "Message too short.")));
    EXPECT_EQ(heard, sink.events);
    std::string source;
    control->get_ResponseSource(&source);
    EXPECT_EQ(source, "10.0.0.5");
    EXPECT_EQ(point->unadvise(cookie), S_OK);
    EXPECT_EQ(point->unadvise(cookie), CONNECT_E_NOCONNECTION);
}

TEST_F(ControlTest, NestedPingReplacesTheOuterRequestAndTheOuterReportsItsOutcome) {
    int requests = 0;
    net->onSend = [this, &requests](const Sent& s) {
        const int request = ++requests;
        pump.script = [this, s, request](int) {
            if (request == 1) {
                // The host pings again while the first request waits.
                pump.script = nullptr;
                EXPECT_EQ(control->PingHost("10.0.0.2"), S_OK);
                // The first request's late answer must not count for anything.
                net->deliver(s.socket, withIpHeader(echoReplyTo(s.bytes), s.address, s.address),
                             s.address);
            } else {
                net->deliver(s.socket, withIpHeader(echoReplyTo(s.bytes), s.address, s.address),
                             s.address);
            }
            return true;
        };
    };
    EXPECT_EQ(control->PingHost("10.0.0.1"), S_OK);
    ASSERT_EQ(net->sent.size(), 2u);
    EXPECT_NE(std::memcmp(&net->sent[0].bytes[4], &net->sent[1].bytes[4], 4), 0)
        << "each request carries its own identifier";
    std::string source;
    control->get_ResponseSource(&source);
    EXPECT_EQ(source, "10.0.0.2");
    EXPECT_FALSE(net->isOpen(net->sent[0].socket));
    EXPECT_FALSE(net->isOpen(net->sent[1].socket));
}

TEST_F(ControlTest, OuterRequestReportsANestedTimeoutNotSuccess) {
    control->put_Timeout(1);
    int requests = 0;
    net->onSend = [this, &requests](const Sent&) {
        if (++requests == 1)
            pump.script = [this](int) {
                pump.script = nullptr;
                EXPECT_EQ(control->PingHost("10.0.0.2"), controlError(20302));
                return true;
            };
    };
    EXPECT_EQ(control->PingHost("10.0.0.1"), controlError(20302));
    EXPECT_EQ(lastError().description, "Timeout.");
}

TEST_F(ControlTest, OuterRequestReportsANestedFailureNotSuccess) {
    int requests = 0;
    net->onSend = [this, &requests](const Sent&) {
        if (++requests == 1)
            pump.script = [this](int) {
                pump.script = nullptr;
                EXPECT_EQ(control->PingHost("no.such.host"), controlError(26002));
                return true;
            };
    };
    EXPECT_EQ(control->PingHost("10.0.0.1"), controlError(26002));
    EXPECT_EQ(lastError().description, "[11001] Host not found");
}

TEST_F(ControlTest, RawAnswerIsReadPastAnIpHeaderWithOptions) {
    net->onSend = [this](const Sent& s) {
        pump.script = [this, s](int) {
            auto datagram = withIpHeader(echoReplyTo(s.bytes), s.address, s.address);
            datagram[0] = 0x46; // a 24-byte header: four bytes of options after the twenty
            datagram.insert(datagram.begin() + 20, {1, 1, 1, 0});
            net->deliver(s.socket, datagram, s.address);
            return true;
        };
    };
    EXPECT_EQ(control->PingHost("10.1.2.3"), S_OK);
}

TEST_F(ControlTest, UnresolvableNameFailsBeforeAnySocketIsOpened) {
    EXPECT_EQ(control->PingHost("no.such.host"), controlError(26002));
    EXPECT_EQ(lastError().description, "[11001] Host not found");
    EXPECT_EQ(lastError().source, "Netquill.Ping.1");
    EXPECT_EQ(lastError().helpContext, 44402u);
    EXPECT_TRUE(net->socketsOpened.empty());
}

TEST_F(ControlTest, NamesResolveToTheirFirstAddress) {
    net->hosts["relay.example"] = {address("10.4.4.4"), address("10.5.5.5")};
    answerEchoes("10.4.4.4");
    EXPECT_EQ(control->put_RemoteHost("relay.example"), S_OK);
    std::string remote;
    control->get_RemoteHost(&remote);
    EXPECT_EQ(remote, "10.4.4.4");
    EXPECT_EQ(net->sent.back().address, address("10.4.4.4"));
}

TEST_F(ControlTest, EmptyHostDoesNothing) {
    EXPECT_EQ(control->PingHost(""), S_OK);
    std::string source = "x";
    control->get_ResponseSource(&source);
    EXPECT_EQ(source, "");
    EXPECT_TRUE(net->socketsOpened.empty());
    EXPECT_EQ(pump.steps, 0);
}

TEST_F(ControlTest, RawSocketRefusedFallsBackToTheDatagramSocket) {
    net->rawRefused = true;
    net->onSend = [this](const Sent& s) {
        // The kernel replaces the identifier field and delivers no IP header.
        auto reply = echoReplyTo(s.bytes);
        reply[4] ^= 0x5A;
        reply[5] ^= 0xA5;
        net->deliver(s.socket, reply, s.address);
    };
    EXPECT_EQ(control->PingHost("127.0.0.1"), S_OK);
    ASSERT_EQ(net->socketsOpened.size(), 1u);
    EXPECT_EQ(net->socketsOpened[0].second, ping::winsock::kSockDgram);
    std::string source;
    control->get_ResponseSource(&source);
    EXPECT_EQ(source, "127.0.0.1");
}

TEST_F(ControlTest, DatagramSocketStillRejectsAnotherRequestsAnswer) {
    net->rawRefused = true;
    control->put_Timeout(1);
    net->onSend = [this](const Sent& s) {
        auto reply = echoReplyTo(s.bytes);
        reply[6] ^= 0x01; // the part of the identifier the kernel leaves alone
        net->deliver(s.socket, reply, s.address);
        auto shorter = echoReplyTo(s.bytes);
        shorter.pop_back();
        net->deliver(s.socket, shorter, s.address);
    };
    EXPECT_EQ(control->PingHost("127.0.0.1"), controlError(20302));
}

TEST_F(ControlTest, BothSocketKindsRefusedReportAccessDenied) {
    net->rawRefused = net->datagramRefused = true;
    EXPECT_EQ(control->PingHost("127.0.0.1"), controlError(25014));
    EXPECT_EQ(lastError().description, "[10013] Access denied");
}

TEST_F(ControlTest, LocalHostRules) {
    std::string local;
    control->get_LocalHost(&local);
    EXPECT_EQ(local, "fakehost");
    EXPECT_EQ(control->put_LocalHost("10.1.1.1"), S_OK);
    control->get_LocalHost(&local);
    EXPECT_EQ(local, "10.1.1.1");
    net->hosts["me.example"] = {address("10.2.2.2")};
    EXPECT_EQ(control->put_LocalHost("me.example"), S_OK);
    control->get_LocalHost(&local);
    EXPECT_EQ(local, "10.2.2.2");
    EXPECT_EQ(control->put_LocalHost("nobody.example"), controlError(26002));
    EXPECT_EQ(lastError().helpContext, 24401u);
    EXPECT_EQ(control->put_LocalHost(""), S_OK);
    control->get_LocalHost(&local);
    EXPECT_EQ(local, "fakehost");
}

} // namespace
} // namespace pingtest
