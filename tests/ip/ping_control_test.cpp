// The node's view of the ping control: creation by class identifier with registration of the
// library when the class is missing, the ping step's results and errors on loopback and in the
// test's private network, and the end of the wait on an answer quicker than the clock.
#include "ip/ping_control.h"

#include "common/node_error.h"
#include "ping/ping.h"
#include "pingclient/class_registry.h"
#include "private_network.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

namespace {

using namespace automation;
using gw::PingControl;

class PingControlTest : public testing::Test {
  protected:
    QTemporaryDir dir;
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    }
    void TearDown() override { qunsetenv("XDG_CONFIG_HOME"); }

    static long errorOf(PingControl& control, const std::string& host) {
        try {
            control.pingStep(host);
        } catch (const gw::NodeError& error) {
            return error.number();
        }
        return 0;
    }
};

TEST_F(PingControlTest, RegistersTheLibraryWhenTheClassIsMissingAndThenCreatesIt) {
    ASSERT_EQ(pingclient::inprocServerPath(pinglib::CLSID_Ping), "");
    std::string problem;
    auto control = PingControl::create({"/nonexistent/libping.so", PING_LIBRARY_PATH}, &problem);
    ASSERT_NE(control, nullptr) << problem;
    EXPECT_EQ(pingclient::inprocServerPath(pinglib::CLSID_Ping),
              QFileInfo(PING_LIBRARY_PATH).canonicalFilePath().toStdString());
}

TEST_F(PingControlTest, ReportsWhyWhenNoLibraryCanBeFound) {
    std::string problem;
    EXPECT_EQ(PingControl::create({dir.path().toStdString() + "/libping.so"}, &problem), nullptr);
    EXPECT_NE(problem.find("is not registered"), std::string::npos) << problem;
}

TEST_F(PingControlTest, ReplacesARegistrationWhoseLibraryHasGone) {
    const QString copy = dir.path() + "/libping.so";
    ASSERT_TRUE(QFile::copy(PING_LIBRARY_PATH, copy));
    ASSERT_TRUE(succeeded(pingclient::registerServer(copy.toStdString(), false)));
    ASSERT_TRUE(QFile::remove(copy));
    std::string problem;
    EXPECT_NE(PingControl::create({PING_LIBRARY_PATH}, &problem), nullptr) << problem;
}

// An installed program names no folder of the machine that built it.
TEST_F(PingControlTest, TheLibraryCandidatesLieFromTheProgramsOwnFolder) {
    const std::string bin = QCoreApplication::applicationDirPath().toStdString() + "/";
    const auto candidates = PingControl::libraryCandidates();
    ASSERT_FALSE(candidates.empty());
    for (const std::string& candidate : candidates)
        EXPECT_EQ(candidate.rfind(bin, 0), 0u) << candidate;
}

class PrivateNetworkPing : public PingControlTest {
  protected:
    void SetUp() override {
        if (!gwtest::inPrivateNetwork()) GTEST_SKIP() << gwtest::privateNetworkProblem();
        PingControlTest::SetUp();
    }
    void TearDown() override {
        gwtest::ignoreEchoRequests(false);
        PingControlTest::TearDown();
    }
};

TEST_F(PrivateNetworkPing, LoopbackAnswersAndAnUnreachableAddressIsNoRoute) {
    std::string problem;
    auto control = PingControl::create({PING_LIBRARY_PATH}, &problem);
    ASSERT_NE(control, nullptr) << problem;
    EXPECT_GE(control->pingStep("127.0.0.1"), 0);
    EXPECT_EQ(errorOf(*control, gwtest::kUnreachableAddress), PingControl::kNoRoute);
    EXPECT_EQ(errorOf(*control, gwtest::kRoutelessAddress), PingControl::kNetworkUnreachable);
    // The control stays usable after a failure.
    EXPECT_GE(control->pingStep("127.0.0.1"), 0);
}

TEST_F(PrivateNetworkPing, ASilentHostTimesOutAfterTenSecondsOfTheControlsClock) {
    ASSERT_TRUE(gwtest::ignoreEchoRequests(true));
    gwtest::SteppedPingClock clock;
    gwtest::SteppedPingPump pump(clock);
    auto ping = ping::Ping::create(clock, pump);
    PingControl control(ComPtr<IDispatch>(static_cast<pinglib::IPing*>(ping.get())));
    const auto start = clock.ticks;
    try {
        control.pingStep("127.0.0.1");
        FAIL() << "a silent host answered";
    } catch (const gw::NodeError& error) {
        EXPECT_EQ(error.number(), PingControl::kTimeout);
        EXPECT_EQ(error.description(), "Timeout.");
    }
    EXPECT_GE(clock.ticks - start, 10'000u);
    EXPECT_LT(clock.ticks - start, 11'000u);
}

// A control double whose answers always read 0 ms, counting the calls made to it.
class ZeroTimeControl final : public IDispatch {
  public:
    HResult queryInterface(const Guid& iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        return S_OK;
    }
    uint32_t addRef() override { return 1; }
    uint32_t release() override { return 1; }
    HResult getIdOfName(std::string_view, DispId*) override { return DISP_E_UNKNOWNNAME; }
    HResult invoke(DispId id, uint16_t flags, std::vector<Variant>& args, Variant* result,
                   ExcepInfo*) override {
        ++calls[{id, flags}];
        if (id == pinglib::dispid::Timeout) timeout = *args.at(0).toI2();
        if (id == pinglib::dispid::PingHost) host = *args.at(0).toText();
        if (id == pinglib::dispid::ResponseTime) *result = Variant::i4(0);
        return S_OK;
    }
    std::map<std::pair<DispId, uint16_t>, int> calls;
    int timeout = -1;
    std::string host;
};

TEST(PingStep, AnAnswerQuickerThanTheClockIsASuccessOfZeroMilliseconds) {
    ZeroTimeControl fake;
    PingControl control{ComPtr<IDispatch>(&fake)};
    EXPECT_EQ(control.pingStep("127.0.0.1"), 0);
    EXPECT_EQ(fake.timeout, 10);
    EXPECT_EQ(fake.host, "127.0.0.1");
    EXPECT_EQ((fake.calls[{pinglib::dispid::PingHost, DISPATCH_METHOD}]), 1);
    EXPECT_LE((fake.calls[{pinglib::dispid::DoEvents, DISPATCH_METHOD}]), 1);
}

} // namespace
