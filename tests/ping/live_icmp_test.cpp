// The control on real sockets, loopback only: answers from 127.0.0.1, what the request looks
// like to an independent raw reader, the socket's options, timeouts, and a quit, a cancel or an
// unload during a wait; DoEvents on the real event loop.
#include "automation_doubles.h"
#include "fake_net.h"
#include "ping/ping.h"
#include "ping/winsock_state.h"

#include <QCoreApplication>
#include <QTimer>

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pingtest {
namespace {

using namespace automation;

bool canOpen(int type) {
    const int fd = ::socket(AF_INET, type, IPPROTO_ICMP);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// Moves on 50 ms each time it is read, so a deadline passes in a few real steps.
class RushingClock : public ping::Clock {
  public:
    uint32_t tickCount() const override { return now += 50; }
    mutable uint32_t now = 0;
};

class LiveIcmpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ping::WinsockState::instance().reset();
        raw = canOpen(SOCK_RAW);
        if (!raw && !canOpen(SOCK_DGRAM))
            GTEST_SKIP() << "neither raw nor datagram ICMP sockets are allowed for this user";
        control = ping::Ping::create();
    }
    void TearDown() override {
        control.reset();
        ping::WinsockState::instance().reset();
    }
    ComPtr<ping::Ping> control;
    bool raw = false;
};

TEST_F(LiveIcmpTest, LoopbackAnswersQuickly) {
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(control->PingHost("127.0.0.1"), S_OK);
        std::string source;
        int32_t time = -1;
        control->get_ResponseSource(&source);
        control->get_ResponseTime(&time);
        EXPECT_EQ(source, "127.0.0.1");
        EXPECT_GE(time, 0);
        EXPECT_LT(time, 500);
    }
    int32_t handle = 0;
    control->get_SocketHandle(&handle);
    EXPECT_EQ(handle, -1);
    std::string path;
    control->get_WinsockPath(&path);
    EXPECT_EQ(path.front(), '/') << "the loaded library's full path: " << path;
}

TEST_F(LiveIcmpTest, RequestSeenByAnIndependentRawReader) {
    if (!raw) GTEST_SKIP() << "reading ICMP off loopback needs a raw socket";
    const int capture = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK, IPPROTO_ICMP);
    ASSERT_GE(capture, 0);
    const int big = 1 << 20;
    ::setsockopt(capture, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    for (int size : {8, 100, 2052}) {
        control->put_PacketSize(size);
        ASSERT_EQ(control->PingHost("127.0.0.1"), S_OK) << size;
        std::vector<std::vector<uint8_t>> requests, replies;
        std::vector<uint8_t> buffer(4096);
        ssize_t n;
        while ((n = ::recv(capture, buffer.data(), buffer.size(), 0)) > 0) {
            const size_t header = size_t(buffer[0] & 0x0F) * 4;
            std::vector<uint8_t> icmp(buffer.begin() + header, buffer.begin() + n);
            if (icmp.size() == size_t(size) && icmp[0] == 8) requests.push_back(icmp);
            if (icmp.size() == size_t(size) && icmp[0] == 0) replies.push_back(icmp);
        }
        // Other programs may ping loopback too: the control's request is the one whose
        // identifier came back in an echo reply.
        bool found = false;
        for (const auto& request : requests)
            for (const auto& reply : replies)
                if (std::equal(request.begin() + 4, request.begin() + 8, reply.begin() + 4)) {
                    found = true;
                    EXPECT_EQ(request[1], 0);
                    EXPECT_EQ(referenceChecksum(request), 0) << "checksum must verify";
                    EXPECT_EQ(std::count(request.begin() + 8, request.end(), '*'), size - 8);
                }
        EXPECT_TRUE(found) << "no request of " << size << " bytes with its reply was seen";
    }
    ::close(capture);
}

TEST_F(LiveIcmpTest, UnansweredRequestTimesOutWithBroadcastAllowedOnItsSocket) {
    if (!raw) GTEST_SKIP() << "the datagram socket only sends echo requests";
    RushingClock clock;
    ping::QtEventPump pump;
    auto silent = ping::Ping::create(clock, pump);
    silent->put_TypeOfService(15); // an information request: this kernel never answers it
    silent->put_Timeout(1);
    int broadcast = -1, handle = -1;
    QTimer::singleShot(0, [&] {
        silent->get_SocketHandle(&handle);
        socklen_t length = sizeof broadcast;
        ::getsockopt(handle, SOL_SOCKET, SO_BROADCAST, &broadcast, &length);
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(silent->PingHost("127.0.0.1"), controlError(20302));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    ErrorInfo info;
    silent->getErrorInfo(&info);
    EXPECT_EQ(info.description, "Timeout.");
    int32_t time = -1;
    silent->get_ResponseTime(&time);
    EXPECT_EQ(time, 0);
    EXPECT_GE(handle, 0) << "the host's timer ran during the wait";
    EXPECT_EQ(broadcast, 1);
}

TEST_F(LiveIcmpTest, QuitDuringTheWaitInterruptsTheRequestWhateverASetterSaid) {
    if (!raw) GTEST_SKIP() << "the datagram socket only sends echo requests";
    control->put_TypeOfService(15);
    control->put_Timeout(0);
    HResult hr = S_OK, refused = S_OK;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(30, [&] {
            refused = control->put_LocalHost("127.0.0.1");
            QCoreApplication::quit();
        });
        hr = control->PingHost("127.0.0.1");
    });
    QTimer guard; // bounds the test should the quit not reach the wait
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(5000);
    QCoreApplication::exec();
    EXPECT_EQ(refused, controlError(20108));
    EXPECT_EQ(hr, controlError(20302));
    ErrorInfo info;
    control->getErrorInfo(&info);
    EXPECT_EQ(info.description, "Interrupted.") << "not the refused setter's text";
}

TEST_F(LiveIcmpTest, UnloadingWinsockDuringAWaitEndsTheRequestAndClosesItsSocket) {
    if (!raw) GTEST_SKIP() << "the datagram socket only sends echo requests";
    ErrorSink sink;
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(control->findConnectionPoint(pinglib::DIID__IPingEvents, point.out()), S_OK);
    uint32_t cookie = 0;
    ASSERT_EQ(point->advise(&sink, &cookie), S_OK);
    control->put_TypeOfService(15); // never answered: only its own copy arrives
    control->put_Timeout(2);
    int32_t handle = -1;
    QTimer::singleShot(20, [&] {
        control->get_SocketHandle(&handle);
        control->put_WinsockLoaded(false);
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(control->PingHost("127.0.0.1"), controlError(20302));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    ErrorInfo info;
    control->getErrorInfo(&info);
    EXPECT_EQ(info.description, "Interrupted.");
    ASSERT_GE(handle, 0);
    EXPECT_EQ(::fcntl(handle, F_GETFD), -1) << "the request's socket is closed";
    EXPECT_TRUE(sink.events.empty()) << sink.events.size() << " Error events";
    point->unadvise(cookie);
}

TEST_F(LiveIcmpTest, SettersAndACancelReportTheirOwnOutcome) {
    if (!raw) GTEST_SKIP() << "the datagram socket only sends echo requests";
    RushingClock clock;
    ping::QtEventPump pump;
    auto rushed = ping::Ping::create(clock, pump);
    ASSERT_EQ(rushed->PingHost("127.0.0.1"), S_OK);
    int32_t time = 0;
    rushed->get_ResponseTime(&time);
    ASSERT_GT(time, 0);

    // Emptying RemoteHost during a wait cancels the request: an error, and no stale time.
    rushed->put_TypeOfService(15);
    rushed->put_Timeout(0);
    QTimer::singleShot(20, [&] { rushed->put_RemoteHost(""); });
    EXPECT_EQ(rushed->PingHost("127.0.0.1"), controlError(20302));
    ErrorInfo info;
    rushed->getErrorInfo(&info);
    EXPECT_EQ(info.description, "Interrupted.");
    rushed->get_ResponseTime(&time);
    EXPECT_EQ(time, 0);

    // After a timed-out request, a setter's failure carries its own text.
    rushed->put_Timeout(1);
    EXPECT_EQ(rushed->PingHost("127.0.0.1"), controlError(20302));
    EXPECT_NE(rushed->put_LocalHost("no-such-host.invalid"), S_OK);
    rushed->getErrorInfo(&info);
    EXPECT_EQ(info.description.rfind("[110", 0), 0u) << info.description;
}

TEST_F(LiveIcmpTest, DoEventsRunsWhatIsPendingWithoutWaiting) {
    int ran = 0;
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) {
        QTimer::singleShot(0, [&ran] { ++ran; });
        EXPECT_EQ(control->DoEvents(), S_OK);
    }
    EXPECT_EQ(ran, 10);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(100));
    // Nothing pending: it waits for the next event, at most its slice.
    const auto idle = std::chrono::steady_clock::now();
    EXPECT_EQ(control->DoEvents(), S_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - idle, std::chrono::milliseconds(500));
}

} // namespace
} // namespace pingtest
