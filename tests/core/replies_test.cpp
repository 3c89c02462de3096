// Replies formatted byte for byte for radio users and the console, one per tick, and only
// for the connection that asked.
#include "main_fixture.h"

using namespace gw;
using namespace gw::test;

namespace {
class Replies : public NodeCoreTest {
  protected:
    void SetUp() override {
        NodeCoreTest::SetUp();
        connectUser("A", "N0CALL");
    }
    std::unique_ptr<CCommand> ask(const std::string& line) {
        say("A", line);
        return takeRequest();
    }
};
} // namespace

TEST_F(Replies, ListOfThree) {
    answer(*ask("LM"), listOf({"SMS_AAAAAAAA", "SMS_BBBBBBBB", "SMS_CCCCCCCC"}));
    EXPECT_EQ(sentText(), "(1) SMS_AAAAAAAA  2026/05/01 09:05  120  K4ABC  Hi SMS_AAAAAAAA\r"
                          "(2) SMS_BBBBBBBB  2026/05/01 09:05  120  K4ABC  Hi SMS_BBBBBBBB\r"
                          "(3) SMS_CCCCCCCC  2026/05/01 09:05  120  K4ABC  Hi SMS_CCCCCCCC\r"
                          "\rSMS>");
    EXPECT_EQ(core.streams()[1].ListedMids,
              (std::vector<std::string>{"SMS_AAAAAAAA", "SMS_BBBBBBBB", "SMS_CCCCCCCC", ""}));
    EXPECT_NE(logText().find("1/A N0CALL; 2026/05/14 10:30  List: 3 messages.\r\n"),
              std::string::npos);
}

TEST_F(Replies, ZeroSizeAndLongMid) {
    auto reply = listOf({"A-VERY-LONG-MESSAGE-ID", "FOURTEEN-CHARS"});
    const_cast<CMidEntry*>(reply->MidList->peek(0))->Size = 0;
    answer(*ask("LM"), std::move(reply));
    EXPECT_EQ(sentText(),
              "(1) A-VERY-LONG-MESSAGE-ID 2026/05/01 09:05    K4ABC  Hi A-VERY-LONG-MESSAGE-ID\r"
              "(2) FOURTEEN-CHARS 2026/05/01 09:05  120  K4ABC  Hi FOURTEEN-CHARS\r\rSMS>");
}

TEST_F(Replies, EmptyListRefusesFollowingPosition) {
    answer(*ask("LM"), listOf({"SMS_AAAAAAAA"}));
    radio.data.clear();
    answer(*ask("LM"), listOf({}));
    EXPECT_EQ(sentText(), "<None found>\r\rSMS>");
    say("A", "R 1");
    EXPECT_EQ(sentText(), "*** Numeric Mid exceeds LM index! Enter correct MID or index.\rSMS>");
}

TEST_F(Replies, FailedListKeepsPreviousList) {
    answer(*ask("LM"), listOf({"SMS_AAAAAAAA", "SMS_BBBBBBBB"}));
    radio.data.clear();
    answer(*ask("LM"), failed("Response Timeout..."));
    EXPECT_EQ(sentText(), "ERROR: Response Timeout...\r\rSMS>");
    EXPECT_EQ(ask("R 2")->Mid, "SMS_BBBBBBBB");
}

TEST_F(Replies, ReadWithAndWithoutCc) {
    auto reply = ok();
    reply->Mid = "SMS_AAAAAAAA";
    reply->Originated = QDateTime(QDate(2026, 4, 30), QTime(23, 59));
    reply->From = "K4ABC";
    reply->AddressTo = "N0CALL;N1CALL";
    reply->Subject = "Hello";
    reply->Body = "line 1\r\nline 2\r\n";
    auto request = ask("R SMS_AAAAAAAA");
    answer(*request, std::move(reply));
    EXPECT_EQ(sentText(), "Mid: SMS_AAAAAAAA\rDate: 2026/04/30 23:59\rFrom: K4ABC\r"
                          "To: N0CALL;N1CALL\rSubject: Hello\rline 1\rline 2\r\rSMS>");
    EXPECT_NE(logText().find("1/A N0CALL; 2026/05/14 10:30  MID : SMS_AAAAAAAA Read."),
              std::string::npos);

    auto withCc = ok();
    withCc->AddressCc = "W1AW";
    answer(*ask("R X"), std::move(withCc));
    EXPECT_NE(sentText().find("To: \rCc: W1AW\rSubject: "), std::string::npos);
    answer(*ask("R Y"), failed("No such message"));
    EXPECT_EQ(sentText(), "Read Error: No such message\rSMS>");
}

TEST_F(Replies, KillSendAndUnknown) {
    answer(*ask("K SMS_AAAAAAAA"), ok());
    EXPECT_EQ(sentText(), "Destination N0CALL of Mid: SMS_AAAAAAAA marked delivered!\rSMS>");
    answer(*ask("K SMS_B"), failed("x"));
    EXPECT_EQ(sentText(), "Failure to mark destination N0CALL of Mid: SMS_B delivered!\rSMS>");

    say("A", "SP W1AW");
    const std::string mid = core.streams()[1].Mid;
    say("A", "subj\r");
    say("A", "/EX");
    radio.data.clear();
    auto send = takeRequest();
    answer(*send, ok());
    EXPECT_EQ(sentText(), "Mid: " + mid + " accepted!\rSMS>");
    EXPECT_NE(logText().find("MID : " + mid + " Sent."), std::string::npos);

    auto odd = ask("LM");
    odd->Command = "Z";
    answer(*odd, ok());
    EXPECT_EQ(sentText(), "Command not recognized...\rSMS>");
}

TEST_F(Replies, SendReplyNamesTheMessageItAnswers) {
    say("A", "SP W1AW");
    const std::string first = core.streams()[1].Mid;
    say("A", "one\r");
    say("A", "/EX");
    auto request = takeRequest();
    say("A", "SP W1AW");
    radio.data.clear();
    auto refused = failed("Access denied");
    refused->Refused = true;
    answer(*request, std::move(refused));
    EXPECT_EQ(sentText(), "Mid: " + first + " failed!\rSMS>");
}

TEST_F(Replies, OneReplyPerTickInOrder) {
    auto first = ask("LM");
    auto second = ask("K SMS_X");
    auto a = listOf({});
    a->Session = first->Session;
    a->Command = "L";
    auto b = ok();
    b->Session = second->Session;
    b->Command = "K";
    b->Mid = "SMS_X";
    queues.ReplyQueue.Add(std::move(a));
    queues.ReplyQueue.Add(std::move(b));
    core.poll();
    EXPECT_EQ(sentText(), "<None found>\r\rSMS>");
    core.poll();
    EXPECT_EQ(sentText(), "Destination N0CALL of Mid: SMS_X marked delivered!\rSMS>");
    core.poll();
    EXPECT_EQ(sentText(), "");
}

TEST_F(Replies, ReplyForUserWhoLeftOrWhoseStreamWasTakenIsDropped) {
    core.setMonitoredStream(1);
    auto gone = ask("LM");
    core.StatusEvent("S1A*** DISCONNECTED");
    answer(*gone, listOf({"SMS_SECRET01"}));
    EXPECT_EQ(sentText(), "");

    connectUser("A", "N0CALL");
    auto first = ask("LM");
    core.StatusEvent("S1A*** DISCONNECTED");
    connectUser("A", "N0CALL"); // the same call on a new connection
    answer(*first, listOf({"SMS_SECRET02"}));
    EXPECT_EQ(sentText(), "");

    auto mine = ask("LM");
    core.StatusEvent("S1A*** DISCONNECTED");
    connectUser("A", "K4ABC");
    answer(*mine, listOf({"SMS_SECRET03"}));
    EXPECT_EQ(sentText(), "");
    EXPECT_EQ(core.streams()[1].ListedMids, std::vector<std::string>{""});
    EXPECT_NE(logText().find("1/A: Reply for N0CALL dropped: stream taken by K4ABC @ "),
              std::string::npos);
    EXPECT_NE(logText().find("1/A: Reply for N0CALL dropped: no longer connected @ "),
              std::string::npos);
    EXPECT_EQ(monitorItems().back().substr(0, 36), "1/A:  Reply for N0CALL dropped: stre");
}
