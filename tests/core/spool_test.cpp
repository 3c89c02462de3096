// Store-and-forward in the core with a real spool file: a send the server could not take is
// queued before its user is told and forwarded on a growing retry interval; a server's
// refusal for good sets it aside; a full or disabled spool leaves the failure as it was.
#include "spool_fixture.h"

#include "server/request_queue.h"
#include "server/session_key.h"

using namespace gw;
using namespace gw::test;

namespace {
class FullSpool : public Spooling {
  protected:
    FullSpool() { settingsBefore = {{"SpoolMaxMessages", "1"}}; }
};

class SpoolOff : public Spooling {
  protected:
    SpoolOff() { settingsBefore = {{"Spool", "False"}}; }
};
} // namespace

TEST_F(Spooling, UnreachableServerQueuesAndRetriesUntilAccepted) {
    auto request = send("first");
    const std::string mid = request->Mid;
    answer(*request, failed("Connection refused"));
    EXPECT_EQ(sentText(),
              "Mid: " + mid + " queued; it will be sent when the server can be reached.\rSMS>");
    EXPECT_EQ(core.spool().figures()->waiting, 1);
    EXPECT_NE(logText().find("MID : " + mid + " queued: Connection refused"), std::string::npos);

    // The first retry comes after a minute, in the spool's own lane, with the whole message.
    EXPECT_EQ(retryAfter(59), nullptr);
    auto retry = retryAfter(1);
    ASSERT_NE(retry, nullptr);
    EXPECT_EQ(sessionStream(retry->Session), RequestQueue::kSpoolLane);
    EXPECT_EQ(retry->Mid, mid);
    EXPECT_EQ(retry->UserCall, "N0CALL");
    EXPECT_EQ(retry->AddressTo, "W1AW");
    EXPECT_EQ(retry->Body, "first\r");
    answer(*retry, failed("Response Timeout..."));
    EXPECT_EQ(sentText(), "") << "the spool's outcome reaches no user";
    EXPECT_EQ(core.spool().figures()->waiting, 1);

    // Then after two minutes, four, ... up to thirty.
    EXPECT_EQ(retryAfter(119), nullptr);
    retry = retryAfter(1);
    ASSERT_NE(retry, nullptr);
    answer(*retry, failed("Connection reset by peer"));
    for (int wait : {240, 480, 960, 1800, 1800}) {
        EXPECT_EQ(retryAfter(wait - 1), nullptr) << wait;
        retry = retryAfter(1);
        ASSERT_NE(retry, nullptr) << wait;
        answer(*retry, failed("Connection refused"));
    }

    // Any request that succeeds sends the spool's next message at once.
    answer(*ask("LM"), listOf({}));
    retry = takeRequest();
    ASSERT_NE(retry, nullptr);
    EXPECT_EQ(retry->Mid, mid);
    answer(*retry, refused("MID already stored: " + mid));
    EXPECT_EQ(core.spool().figures()->waiting, 0) << "a MID the server holds is delivered";
    EXPECT_EQ(core.spool().figures()->setAside, 0);
    EXPECT_EQ(takeRequest(), nullptr);
    EXPECT_NE(logText().find("MID : " + mid + " forwarded (the server held it already)."),
              std::string::npos)
        << logText();
}

TEST_F(Spooling, RefusalForGoodIsSetAsideAndNotRetried) {
    auto request = send("to nowhere");
    answer(*request, failed("Connection refused"));
    auto retry = retryAfter(60);
    ASSERT_NE(retry, nullptr);
    answer(*retry, refused("No destination"));
    EXPECT_EQ(core.spool().figures()->waiting, 0);
    EXPECT_EQ(core.spool().figures()->setAside, 1);
    EXPECT_NE(logText().find("MID : " + request->Mid +
                             " refused by the server, set aside: No "
                             "destination"),
              std::string::npos);
    EXPECT_EQ(retryAfter(3600), nullptr);

    // A message in the file that no request can carry is set aside too.
    ASSERT_EQ(
        core.spool().add({"SMS_BROKEN1", "N0CALL", "W1AW", "", "s", "a\r\n/EX\r\nb", clock.now()}),
        Spool::AddResult::Stored);
    EXPECT_EQ(retryAfter(3600), nullptr);
    EXPECT_EQ(core.spool().figures()->setAside, 2);
    EXPECT_NE(logText().find("MID : SMS_BROKEN1 cannot be sent as a request, set aside."),
              std::string::npos);

    // A refusal of the user's own send is the user's failure, not the spool's.
    auto denied = send("denied");
    answer(*denied, refused("Access denied for N0NODE"));
    EXPECT_EQ(sentText(), "Mid: " + denied->Mid + " failed!\rSMS>");
    EXPECT_EQ(core.spool().figures()->waiting, 0);
}

TEST_F(Spooling, MessageOfAUserWhoLeftIsQueuedAllTheSame) {
    auto request = send("gone");
    core.StatusEvent("S1A*** DISCONNECTED");
    answer(*request, failed("Connection refused"));
    EXPECT_EQ(core.spool().figures()->waiting, 1);
    EXPECT_NE(logText().find("MID : " + request->Mid + " queued"), std::string::npos);
}

TEST_F(FullSpool, FullSpoolLeavesTheFailureAndSaysWhy) {
    auto first = send("one");
    answer(*first, failed("Connection refused"));
    connectUser("B", "N1CALL");
    say("B", "SP W1AW");
    say("B", "subject\r");
    say("B", "/EX");
    auto second = takeRequest();
    radio.data.clear();
    answer(*second, failed("Connection refused"));
    EXPECT_EQ(sentText(), "Mid: " + second->Mid + " failed!\rSMS>");
    EXPECT_EQ(core.spool().figures()->waiting, 1);
    EXPECT_NE(logText().find("MID : " + second->Mid + " not queued, the spool is full"),
              std::string::npos);
}

TEST_F(SpoolOff, DisabledSpoolLeavesTheFailure) {
    auto request = send("one");
    answer(*request, failed("Connection refused"));
    EXPECT_EQ(sentText(), "Mid: " + request->Mid + " failed!\rSMS>");
    EXPECT_FALSE(core.spool().isOpen());
    EXPECT_NE(logText().find("not queued, store-and-forward is off"), std::string::npos);
}

TEST_F(Spooling, OneUsersMessagesReachTheServerInHisOrder) {
    // His second message is finished while the first is on its way: it waits for the first.
    auto first = send("first");
    compose("second");
    const std::string second = core.streams()[1].Mid;
    EXPECT_EQ(takeRequest(), nullptr) << "the second waits behind the first";
    radio.data.clear();
    // The first cannot go: it is queued, the second in behind it at once, and the spool's
    // turn comes now.
    answer(*first, failed("Response Timeout..."));
    EXPECT_EQ(sentText(), "Mid: " + first->Mid +
                              " queued; it will be sent when the server can be reached.\rSMS>" +
                              "Mid: " + second +
                              " queued; it will be sent after your earlier messages.\rSMS>");
    for (const std::string& mid : {first->Mid, second}) {
        auto forward = takeRequest();
        ASSERT_NE(forward, nullptr) << mid;
        EXPECT_EQ(sessionStream(forward->Session), RequestQueue::kSpoolLane);
        EXPECT_EQ(forward->Mid, mid);
        answer(*forward, ok());
    }
    // With nothing of his waiting, his next one goes to the server itself.
    auto third = send("third");
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(sessionStream(third->Session), 1);
    EXPECT_EQ(core.counters().requests.at({"forward", "ok"}), 2u);
}
