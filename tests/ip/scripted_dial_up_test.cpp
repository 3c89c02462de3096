// The scripted dial-up backend on a fake clock: it must keep the dial-up layer's promises
// (a dial returns after the attempt, abandon ends it, hang-up reports the link down), since
// the setup window's tests rely on it standing in for pppd.
#include "ip/scripted_dial_up.h"

#include "common/node_error.h"

#include <gtest/gtest.h>

namespace {

using gw::DialUp;
using gw::ScriptedDialUp;
using namespace std::chrono_literals;

class ScriptedDialUpTest : public testing::Test {
  protected:
    gw::FakeClock clock;
    gw::FakeEventPump pump{clock};
    ScriptedDialUp dialUp{pump, clock, {"home", "", "work"}};
    std::vector<std::string> entries;
    std::vector<std::pair<long, long>> states;

    void SetUp() override {
        dialUp.setEvents({[this](const std::string& name) { entries.push_back(name); },
                          [this](long state, long error) { states.emplace_back(state, error); }});
    }
};

TEST_F(ScriptedDialUpTest, EnumeratesEveryEntryBeforeReturning) {
    dialUp.setAction(DialUp::kEnumerate);
    EXPECT_EQ(entries, (std::vector<std::string>{"home", "", "work"}));
}

TEST_F(ScriptedDialUpTest, ADialReturnsOnceTheLinkIsUpAndTheClockHasMoved) {
    dialUp.setEntry("home");
    dialUp.setOutcome(ScriptedDialUp::Outcome::Connect, 15s);
    const auto start = clock.elapsed();
    dialUp.dial();
    EXPECT_GE(clock.elapsed() - start, 15s);
    EXPECT_EQ(states, (std::vector<std::pair<long, long>>{{DialUp::kAuthenticated, 0}}));
    // Dialing with the link already up reports it up again at once.
    dialUp.dial();
    EXPECT_EQ(states.size(), 2u);
    EXPECT_EQ(states.back(), (std::pair<long, long>{DialUp::kAuthenticated, 0}));
    dialUp.hangUp();
    EXPECT_EQ(states.back(), (std::pair<long, long>{DialUp::kDisconnected, 0}));
    EXPECT_FALSE(dialUp.linkUp());
}

TEST_F(ScriptedDialUpTest, AbandonEndsADialThatWouldNeverConnect) {
    dialUp.setEntry("work");
    dialUp.setOutcome(ScriptedDialUp::Outcome::Never);
    const auto start = clock.elapsed();
    pump.setHook([&] {
        if (clock.elapsed() - start >= 60s) dialUp.setAction(DialUp::kAbandon);
    });
    dialUp.dial();
    EXPECT_LT(clock.elapsed() - start, 61s);
    EXPECT_EQ(states, (std::vector<std::pair<long, long>>{{DialUp::kDisconnected, 0}}));
}

TEST_F(ScriptedDialUpTest, AFailedAttemptAndAMissingEntry) {
    dialUp.setOutcome(ScriptedDialUp::Outcome::Fail, 3s);
    EXPECT_THROW(dialUp.dial(), gw::NodeError);
    EXPECT_TRUE(states.empty());
    dialUp.setEntry("home");
    dialUp.dial();
    EXPECT_EQ(states, (std::vector<std::pair<long, long>>{
                          {DialUp::kDisconnected, ScriptedDialUp::kFailError}}));
}

} // namespace
