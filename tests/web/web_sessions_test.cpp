// The web console's logins with a clock the test moves: the throttle on an address's failures
// and its log, sliding expiry, token lookup, the bound on sessions and the node without a
// password.
#include "web/web_sessions.h"

#include "setup/web_password.h"
#include "support/fake_clock.h"

#include <gtest/gtest.h>
#include <set>

namespace gw {
namespace {
using namespace std::chrono_literals;
using Result = WebSessions::Login::Result;

class WebSessionsTest : public testing::Test {
  protected:
    FakeClock clock;
    std::string stored = hashWebPassword("correct horse");
    std::vector<std::string> log;
    WebSessions sessions{{clock, [this] { return stored; },
                          [this](const std::string& line) { log.push_back(line); }}};
};
} // namespace

TEST_F(WebSessionsTest, FailuresAreThrottledWithDoublingDelaysUntilASuccess) {
    for (const auto expected : {1s, 2s, 4s, 8s, 16s, 32s, 60s, 60s}) {
        const WebSessions::Login wrong = sessions.login("10.0.0.1", "wrong horse");
        EXPECT_EQ(wrong.result, Result::Wrong);
        EXPECT_EQ(wrong.retryAfter, expected);
        EXPECT_TRUE(wrong.cookie.empty());
        clock.advance(expected - 1ms);
        // Even the right password is not checked while the delay runs.
        const WebSessions::Login held = sessions.login("10.0.0.1", "correct horse");
        EXPECT_EQ(held.result, Result::Throttled);
        EXPECT_EQ(held.retryAfter, 1s);
        clock.advance(1ms);
    }
    ASSERT_EQ(sessions.login("10.0.0.1", "correct horse").result, Result::Ok);
    EXPECT_EQ(sessions.login("10.0.0.1", "wrong horse").retryAfter, 1s)
        << "a success resets the count";
    EXPECT_EQ(sessions.failedLogins(), 9u);
    EXPECT_EQ(sessions.throttledLogins(), 8u);
    // One line when the address started failing, one with the counts when it stopped.
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1], "web 10.0.0.1: 7 more wrong password(s) and 8 login(s) refused while "
                      "waiting, before this login");
    clock.advance(WebSessions::kQuietEnd);
    sessions.endQuietEpisodes();
    EXPECT_EQ(log.size(), 3u) << "an episode of one failure has nothing more to say";
    EXPECT_EQ(log[2], log[0]);
}

TEST_F(WebSessionsTest, SessionsSlideExpireEndAndAreBounded) {
    const WebSessions::Login first = sessions.login("10.0.0.1", "correct horse");
    ASSERT_EQ(first.result, Result::Ok);
    EXPECT_EQ(first.cookie.size(), 43u) << "32 bytes as base64url without padding";
    EXPECT_EQ(first.cookie.find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
              std::string::npos);
    EXPECT_NE(first.cookie, first.token);
    ASSERT_NE(sessions.tokenFor(first.cookie), nullptr);
    EXPECT_EQ(*sessions.tokenFor(first.cookie), first.token);
    EXPECT_EQ(sessions.tokenFor(first.token), nullptr);
    EXPECT_EQ(sessions.tokenFor(""), nullptr);

    // Each use within 30 minutes keeps the session alive; 30 idle minutes end it.
    for (int i = 0; i < 3; ++i) {
        clock.advance(29min);
        EXPECT_NE(sessions.tokenFor(first.cookie), nullptr) << i;
    }
    clock.advance(30min);
    EXPECT_EQ(sessions.tokenFor(first.cookie), nullptr);

    std::set<std::string> cookies;
    std::vector<WebSessions::Login> logins;
    for (int i = 0; i < 9; ++i) {
        logins.push_back(sessions.login("10.0.0.1", "correct horse"));
        cookies.insert(logins.back().cookie);
    }
    EXPECT_EQ(cookies.size(), 9u);
    EXPECT_EQ(sessions.sessionCount(), 8u);
    EXPECT_EQ(sessions.tokenFor(logins[0].cookie), nullptr) << "the oldest was dropped";
    for (int i = 1; i < 9; ++i)
        EXPECT_NE(sessions.tokenFor(logins[static_cast<std::size_t>(i)].cookie), nullptr) << i;

    sessions.logout(logins[4].cookie);
    EXPECT_EQ(sessions.tokenFor(logins[4].cookie), nullptr);
    EXPECT_NE(sessions.tokenFor(logins[5].cookie), nullptr);
}

TEST_F(WebSessionsTest, NoPasswordRefusesEveryLoginWithoutCountingFailures) {
    stored.clear();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sessions.login("10.0.0.1", "correct horse").result, Result::NoPassword);
    stored = hashWebPassword("correct horse");
    EXPECT_EQ(sessions.login("10.0.0.1", "correct horse").result, Result::Ok)
        << "read at each login";
}

} // namespace gw
