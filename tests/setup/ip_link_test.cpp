// The setup core's IP link with the real ping control and the scripted dial-up backend, in
// the test's private network: verification by ping, dialing on demand, the dial timeout, the
// operator's Ping and Disconnect, the phone-book list and the hang-up delay check.
#include "core/node_setup.h"

#include "ping/ping.h"
#include "pingclient/class_registry.h"
#include "private_network.h"
#include "support/core_rig.h"
#include "support/fake_clock.h"
#include "support/fake_event_pump.h"

#include <QFileInfo>
#include <gtest/gtest.h>
#include <optional>

using namespace gw;
using namespace std::chrono_literals;

namespace {

class IpLink : public CoreRig<FakeClock, FakeEventPump> {
  protected:
    ScriptedDialUp* dialUp = nullptr;
    std::optional<std::chrono::milliseconds> dialTimerSince;

    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        settings.write("Client1", "MBOCall", "N0CALL");
        settings.write("Client1", "InitFilePath", dir.path().toStdString() + "/");
        // The dial timer on the fake clock: it ticks once it has been running for 60 seconds.
        pump.setHook([this] {
            if (!setup || !setup->dialTimer().isActive()) {
                dialTimerSince.reset();
            } else if (!dialTimerSince) {
                dialTimerSince = clock.elapsed();
            } else if (clock.elapsed() - *dialTimerSince >= 60s) {
                dialTimerSince = clock.elapsed();
                setup->dialTimedOut();
            }
        });
    }
    void TearDown() override {
        gwtest::ignoreEchoRequests(false);
        qunsetenv("XDG_CONFIG_HOME");
    }
    // The node with the chosen connection type, the scripted phone book and the server address.
    void startNode(IpConnectionType type, const std::string& address,
                   std::vector<std::string> entries = {"Home ISP", "Work"}) {
        settings.write("Client1", "IPType", type == IpConnectionType::FullTime ? "True" : "False");
        settings.write("Client1", "DialType", type == IpConnectionType::DialUp ? "True" : "False");
        settings.write("Client1", "IPAddress", address);
        ASSERT_TRUE(startCore("1"));
        dialUp = &scriptDialUp(std::move(entries));
        std::string problem;
        setup->setPingControl(PingControl::create({PING_LIBRARY_PATH}, &problem));
        ASSERT_EQ(problem, "");
        setup->LoadSettings();
    }
    void requirePrivateNetwork() {
        if (!gwtest::inPrivateNetwork()) GTEST_SKIP() << gwtest::privateNetworkProblem();
    }
    NodeSetup::LinkCheckState linkCheck() const { return setup->linkCheck().state; }
    std::vector<std::string> titles() const {
        std::vector<std::string> all;
        for (const auto& box : dialogs.shown())
            all.push_back(box.title);
        return all;
    }
};

TEST_F(IpLink, LoadingCreatesThePingControlRegisteringTheLibraryFirst) {
    ASSERT_TRUE(startCore("1"));
    ASSERT_EQ(pingclient::inprocServerPath(pinglib::CLSID_Ping), "");
    setup->loadSetup(false);
    EXPECT_EQ(setup->pingProblem(), "");
    EXPECT_EQ(pingclient::inprocServerPath(pinglib::CLSID_Ping),
              QFileInfo(PING_LIBRARY_PATH).canonicalFilePath().toStdString());
}

TEST_F(IpLink, WithoutAPingControlEveryCheckFailsAndTheOperatorIsTold) {
    startNode(IpConnectionType::FullTime, "127.0.0.1");
    setup->setPingControl(nullptr);
    EXPECT_FALSE(setup->VerifyFullTime());
    EXPECT_FALSE(setup->VerifyConnection());
    setup->verifyIpLink();
    ASSERT_EQ(titles(), std::vector<std::string>{"Ping Error!"});
    EXPECT_EQ(dialogs.shown()[0].text.rfind("Ping Error: 429/", 0), 0u) << dialogs.shown()[0].text;
    EXPECT_EQ(linkCheck(), NodeSetup::LinkCheckState::Failed);
}

TEST_F(IpLink, FullTimeVerifiesAnAnsweringServerAndTheManualPingShowsTheTime) {
    requirePrivateNetwork();
    startNode(IpConnectionType::FullTime, "127.0.0.1");
    EXPECT_TRUE(setup->VerifyFullTime());
    EXPECT_TRUE(setup->VerifyConnection());
    setup->verifyIpLink();
    EXPECT_EQ(linkCheck(), NodeSetup::LinkCheckState::Ok);
    EXPECT_EQ(setup->linkCheck().milliseconds, setup->lastPing().milliseconds);
    EXPECT_EQ(dialUp->dials(), 0);
}

TEST_F(IpLink, FullTimeWithTheServerUnreachableFailsWithoutDialing) {
    requirePrivateNetwork();
    startNode(IpConnectionType::FullTime, gwtest::kUnreachableAddress);
    EXPECT_FALSE(setup->VerifyFullTime());
    EXPECT_FALSE(setup->VerifyConnection());
    EXPECT_EQ(dialUp->dials(), 0);
}

TEST_F(IpLink, DialUpDialsAndALinkThatComesUpVerifiesWhileTheServerStaysSilent) {
    requirePrivateNetwork();
    startNode(IpConnectionType::DialUp, gwtest::kUnreachableAddress);
    setup->chooseDialEntry(1);
    dialUp->setOutcome(ScriptedDialUp::Outcome::Connect, 20s);
    EXPECT_TRUE(setup->VerifyConnection());
    EXPECT_EQ(dialUp->dials(), 1);
    EXPECT_EQ(dialUp->entry(), "Work");
    EXPECT_TRUE(setup->bConnectedByDialup());
    EXPECT_FALSE(setup->dialTimer().isActive());
    // The next user's check dials again with the link already up: still verified, still up.
    EXPECT_TRUE(setup->VerifyConnection());
    EXPECT_TRUE(setup->bConnectedByDialup());
    // The core's idle countdown drops it.
    setup->hangUp();
    EXPECT_FALSE(setup->bConnectedByDialup());
}

TEST_F(IpLink, AServerWithNoRouteAtAllDialsToo) {
    requirePrivateNetwork();
    startNode(IpConnectionType::DialBackup, gwtest::kRoutelessAddress);
    setup->chooseDialEntry(0);
    EXPECT_TRUE(setup->VerifyConnection());
    EXPECT_EQ(dialUp->dials(), 1);
}

TEST_F(IpLink, TheDialTimerAbandonsADialThatNeverConnects) {
    requirePrivateNetwork();
    startNode(IpConnectionType::DialBackup, gwtest::kUnreachableAddress);
    setup->chooseDialEntry(0);
    dialUp->setOutcome(ScriptedDialUp::Outcome::Never);
    const auto start = clock.elapsed();
    EXPECT_FALSE(setup->VerifyConnection());
    EXPECT_GE(clock.elapsed() - start, 60s);
    EXPECT_LT(clock.elapsed() - start, 61s);
    EXPECT_EQ(dialUp->calls().back(), "abandon");
    EXPECT_FALSE(setup->dialTimer().isActive());
    EXPECT_FALSE(setup->bConnectedByDialup());
}

TEST_F(IpLink, AuthenticatedWithAnErrorChangesNothing) {
    startNode(IpConnectionType::DialUp, "127.0.0.1");
    setup->onDialUpStatus(DialUp::kAuthenticated, 691);
    EXPECT_FALSE(setup->bConnectedByDialup());
    setup->onDialUpStatus(DialUp::kAuthenticated, 0);
    EXPECT_TRUE(setup->bConnectedByDialup());
    setup->onDialUpStatus(DialUp::kAuthenticated, 691);
    EXPECT_TRUE(setup->bConnectedByDialup());
    setup->dialTimedOut();
    EXPECT_EQ(dialUp->calls().back(), "enumerate") << "a tick with the link up abandons nothing";
}

TEST_F(IpLink, AManualPingWithTheLinkUpAndASilentServerTimesOutWithoutDialing) {
    requirePrivateNetwork();
    startNode(IpConnectionType::DialUp, "127.0.0.1");
    // The real control on a clock that moves only while it waits: ten seconds cost nothing.
    gwtest::SteppedPingClock pingClock;
    gwtest::SteppedPingPump pingPump(pingClock);
    auto control = ping::Ping::create(pingClock, pingPump);
    setup->setPingControl(std::make_unique<PingControl>(
        automation::ComPtr<automation::IDispatch>(static_cast<pinglib::IPing*>(control.get()))));
    setup->onDialUpStatus(DialUp::kAuthenticated, 0);
    ASSERT_TRUE(gwtest::ignoreEchoRequests(true));
    setup->verifyIpLink();
    EXPECT_EQ(linkCheck(), NodeSetup::LinkCheckState::TimedOut);
    EXPECT_EQ(dialUp->dials(), 0);
    EXPECT_TRUE(dialogs.shown().empty());
    setup->setPingControl(nullptr);
}

TEST_F(IpLink, AManualPingDialsWhenTheServerIsUnreachable) {
    requirePrivateNetwork();
    startNode(IpConnectionType::DialUp, gwtest::kUnreachableAddress);
    setup->chooseDialEntry(0);
    dialUp->setOutcome(ScriptedDialUp::Outcome::Fail, 5s);
    setup->verifyIpLink();
    EXPECT_EQ(dialUp->dials(), 1);
    ASSERT_EQ(titles(), std::vector<std::string>{"Dial Up Failure"});
    EXPECT_EQ(dialogs.shown()[0].text, "Dial up failure...could not connect.");
    EXPECT_EQ(linkCheck(), NodeSetup::LinkCheckState::Failed)
        << "a failed dial never leaves \"Dialing\" standing";

    dialogs.clear();
    dialUp->setOutcome(ScriptedDialUp::Outcome::Connect, 5s);
    setup->verifyIpLink();
    EXPECT_EQ(dialUp->dials(), 2);
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_TRUE(setup->bConnectedByDialup());
    // The second ping still finds no route: the label shows it rather than "Pinging".
    EXPECT_EQ(linkCheck(), NodeSetup::LinkCheckState::Failed);
}

TEST_F(IpLink, OtherPingErrorsShowTheErrorBoxAndFail) {
    requirePrivateNetwork();
    startNode(IpConnectionType::FullTime, gwtest::kUnreachableAddress);
    setup->verifyIpLink();
    ASSERT_EQ(titles(), std::vector<std::string>{"Ping Error!"});
    EXPECT_EQ(dialogs.shown()[0].icon, DialogIcon::Exclamation);
    EXPECT_EQ(dialogs.shown()[0].text,
              "Ping Error: 25066/[10065] No route to host\r"
              "Your system may not have the correct Winsock configuration.");
    EXPECT_EQ(linkCheck(), NodeSetup::LinkCheckState::Failed);

    // An empty server address is no answer.
    dialogs.clear();
    setup->live().ipAddress.clear();
    EXPECT_FALSE(setup->VerifyFullTime());
    setup->verifyIpLink();
    ASSERT_EQ(titles(), std::vector<std::string>{"Ping Error!"});
    EXPECT_EQ(dialogs.shown()[0].text.rfind("Ping Error: 26002/", 0), 0u);
}

TEST_F(IpLink, TheErrorEventMarksThePingFailed) {
    startNode(IpConnectionType::FullTime, "127.0.0.1");
    setup->onPingError(10054, "Winsock error in recv()");
    EXPECT_EQ(linkCheck(), NodeSetup::LinkCheckState::Failed);
}

TEST_F(IpLink, HangUpDelayBoundsAreCheckedWithTheirTitles) {
    startNode(IpConnectionType::DialUp, "127.0.0.1");
    const std::pair<const char*, const char*> cases[] = {
        {"0", nullptr},
        {"120", nullptr},
        {"2.5", nullptr},
        {"121", "Delay out of range!"},
        {"-1", "Delay out of range!"},
        {"x", "Delay not valid!"},
    };
    for (const auto& [text, title] : cases) {
        dialogs.clear();
        EXPECT_EQ(setup->setHangUpDelay(text), title == nullptr) << text;
        if (title == nullptr) {
            EXPECT_TRUE(dialogs.shown().empty()) << text;
            continue;
        }
        ASSERT_EQ(titles(), std::vector<std::string>{title}) << text;
        EXPECT_EQ(dialogs.shown()[0].text, "Enter hang up delay 0 - 120 minutes!");
    }
}

TEST_F(IpLink, ChoosingDialUpAgainRebuildsThePhoneBookAndReselectsTheStoredEntry) {
    settings.write("Client1", "DUNIndex", "1");
    startNode(IpConnectionType::DialUp, "127.0.0.1", {"Home ISP", "", "Work", "Spare"});
    ASSERT_EQ(setup->phoneBook().size(), 3u) << "empty names are not listed";
    EXPECT_EQ(setup->phoneBookRow(), 1);
    EXPECT_EQ(dialUp->entry(), "Work");

    setup->chooseDialEntry(2);
    EXPECT_EQ(setup->live().dunIndex, 2);
    EXPECT_EQ(dialUp->entry(), "Spare");
    dialUp->setEntries({"Home ISP", "Work", "Spare", "New"});
    setup->chooseConnection(IpLinkType::FullTime);
    setup->chooseConnection(IpLinkType::DialUp);
    ASSERT_EQ(setup->phoneBook().size(), 4u);
    EXPECT_EQ(setup->phoneBook()[2], "Spare");
    EXPECT_EQ(setup->live().dunIndex, 2);
    EXPECT_EQ(dialUp->entry(), "Spare");
}

TEST_F(IpLink, AStoredEntryBeyondTheRebuiltListChoosesNothing) {
    settings.write("Client1", "DUNIndex", "5");
    startNode(IpConnectionType::DialUp, "127.0.0.1");
    EXPECT_EQ(setup->phoneBook().size(), 2u);
    EXPECT_EQ(setup->phoneBookRow(), -1);
    EXPECT_EQ(dialUp->entry(), "");
    setup->Initialize();
    ASSERT_EQ(titles(), std::vector<std::string>{"Select Phone Book Entry"});
    EXPECT_EQ(settings.read("Client1", "DUNIndex", ""), "5") << "nothing saved";
}

} // namespace
