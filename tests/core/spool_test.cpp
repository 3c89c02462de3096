// Store-and-forward in the core with a real spool file: a send the server could not take is
// queued before its user is told and forwarded on a growing retry interval; a server's
// refusal for good sets it aside; a full or disabled spool leaves the failure as it was.
#include "main_fixture.h"

#include "server/request_queue.h"
#include "server/session_key.h"

using namespace gw;
using namespace gw::test;

namespace {
class Spooling : public NodeCoreTest {
  protected:
    void SetUp() override {
        for (const auto& [key, value] : settingsBefore)
            settings.write("Client1", key, value);
        NodeCoreTest::SetUp();
        connectUser("A", "N0CALL");
    }
    // The user sends a message; its request is taken off the queue.
    std::unique_ptr<CCommand> send(const std::string& body) {
        say("A", "SP W1AW");
        say("A", "subject\r");
        say("A", body + "\r");
        say("A", "/EX");
        radio.data.clear();
        return takeRequest();
    }
    std::unique_ptr<CCommand> ask(const std::string& line) {
        say("A", line);
        return takeRequest();
    }
    // Runs the spool's timer after `seconds`; its request, if it made one.
    std::unique_ptr<CCommand> retryAfter(int seconds) {
        clock.advance(std::chrono::seconds(seconds));
        core.tmrSpool_Timer();
        return takeRequest();
    }
    static std::unique_ptr<CResponse> refused(const std::string& why) {
        auto reply = failed(why);
        reply->Refused = true;
        return reply;
    }
    std::vector<std::pair<std::string, std::string>> settingsBefore;
};

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
    EXPECT_EQ(core.spool().count(), 1);
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
    EXPECT_EQ(core.spool().count(), 1);

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
    auto second = send("second");
    answer(*second, failed("Connection refused"));
    answer(*ask("LM"), listOf({}));
    retry = takeRequest();
    ASSERT_NE(retry, nullptr);
    EXPECT_EQ(retry->Mid, mid) << "oldest first";
    answer(*retry, ok());
    retry = takeRequest();
    ASSERT_NE(retry, nullptr);
    EXPECT_EQ(retry->Mid, second->Mid);
    answer(*retry, refused("MID already stored: " + second->Mid));
    EXPECT_EQ(core.spool().count(), 0) << "a MID the server holds is delivered";
    EXPECT_EQ(core.spool().setAsideCount(), 0);
    EXPECT_EQ(takeRequest(), nullptr);
    EXPECT_NE(logText().find("MID : " + mid + " forwarded."), std::string::npos) << logText();
    EXPECT_NE(logText().find("MID : " + second->Mid + " forwarded (the server held it already)."),
              std::string::npos);
}

TEST_F(Spooling, RefusalForGoodIsSetAsideAndNotRetried) {
    auto request = send("to nowhere");
    answer(*request, failed("Connection refused"));
    auto retry = retryAfter(60);
    ASSERT_NE(retry, nullptr);
    answer(*retry, refused("No destination"));
    EXPECT_EQ(core.spool().count(), 0);
    EXPECT_EQ(core.spool().setAsideCount(), 1);
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
    EXPECT_EQ(core.spool().setAsideCount(), 2);
    EXPECT_NE(logText().find("MID : SMS_BROKEN1 cannot be sent as a request, set aside."),
              std::string::npos);

    // A refusal of the user's own send is the user's failure, not the spool's.
    auto denied = send("denied");
    answer(*denied, refused("Access denied for N0NODE"));
    EXPECT_EQ(sentText(), "Mid: " + denied->Mid + " failed!\rSMS>");
    EXPECT_EQ(core.spool().count(), 0);
}

TEST_F(Spooling, MessageOfAUserWhoLeftIsQueuedAllTheSame) {
    auto request = send("gone");
    core.StatusEvent("S1A*** DISCONNECTED");
    answer(*request, failed("Connection refused"));
    EXPECT_EQ(core.spool().count(), 1);
    EXPECT_NE(logText().find("MID : " + request->Mid + " queued"), std::string::npos);
}

TEST_F(FullSpool, FullSpoolLeavesTheFailureAndSaysWhy) {
    auto first = send("one");
    answer(*first, failed("Connection refused"));
    auto second = send("two");
    answer(*second, failed("Connection refused"));
    EXPECT_EQ(sentText(), "Mid: " + second->Mid + " failed!\rSMS>");
    EXPECT_EQ(core.spool().count(), 1);
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
