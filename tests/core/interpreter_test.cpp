// The radio users' command language: commands, list positions, the send dialogue.
#include "main_fixture.h"

using namespace gw;
using namespace gw::test;

namespace {
class Interpreter : public NodeCoreTest {
  protected:
    void SetUp() override {
        NodeCoreTest::SetUp();
        connectUser("A", "N0CALL");
    }
    // Lists three messages for stream A so that positions 1 to 3 exist.
    void listThree() {
        say("A", "LM\r");
        answer(*takeRequest(), listOf({"SMS_AAAAAAAA", "SMS_BBBBBBBB", "SMS_CCCCCCCC"}));
        radio.data.clear();
    }
};
} // namespace

TEST_F(Interpreter, ListCommandsQueueL) {
    say("A", "lm\r");
    say("A", "ListMine");
    std::string lastSession;
    for (int i = 0; i < 2; ++i) {
        auto request = takeRequest();
        ASSERT_TRUE(request);
        EXPECT_EQ(request->Command, "L");
        EXPECT_EQ(request->UserCall, "N0CALL");
        EXPECT_EQ(request->MBOCall, "N0CALL");
        EXPECT_EQ(request->MBOPassword, "SECRET");
        EXPECT_EQ(request->Session.substr(0, 2), "01");
        EXPECT_NE(request->Session, lastSession);
        lastSession = request->Session;
    }
    EXPECT_EQ(core.streams()[1].Session, lastSession) << "the latest key is kept";
    EXPECT_EQ(sentText(), "") << "no prompt while a request is queued";
    say("A", "L");
    EXPECT_EQ(sentText(), "Command not supported...Type H for Help.\rSMS>");
    EXPECT_EQ(queues.CommandQueue.Count(), 0);
}

TEST_F(Interpreter, TrafficIndicatorIdleResetAndMonitorInLowerCase) {
    core.setMonitoredStream(1);
    tick(3);
    say("A", "  H  \rsecond line");
    EXPECT_EQ(core.streams()[1].IdleMinutes, 1);
    EXPECT_EQ(traffic, Traffic::In);
    const auto items = monitorItems();
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(items[items.size() - 2], "1/a:    H  ");
    EXPECT_EQ(items.back(), "1/a:  second line");
    ASSERT_EQ(radio.files.size(), 1u);
    EXPECT_EQ(radio.files[0].text, "help.txt");
    EXPECT_EQ(sentText(), "\rSMS>");
}

TEST_F(Interpreter, LocalCommands) {
    say("A", "info");
    EXPECT_EQ(radio.files.back().text, "info.txt");
    say("A", "bye");
    EXPECT_EQ(radio.calls.back(), "SendDisconnect 1A");
    say("A", "QRT");
    say("A", "LogOut");
    EXPECT_EQ(std::count(radio.calls.begin(), radio.calls.end(), "SendDisconnect 1A"), 3);
}

TEST_F(Interpreter, EmptyAndStatusEchoLinesAreIgnored) {
    say("A", "");
    say("A", "   \r");
    say("A", "*** CONNECTED to N0CALL");
    EXPECT_EQ(sentText(), "");
    EXPECT_EQ(queues.CommandQueue.Count(), 0);
}

TEST_F(Interpreter, ReadAndKillByListPosition) {
    listThree();
    say("A", "r 2");
    EXPECT_EQ(takeRequest()->Mid, "SMS_BBBBBBBB");
    say("A", "READ 3");
    EXPECT_EQ(takeRequest()->Mid, "SMS_CCCCCCCC");
    say("A", "k 1");
    auto kill = takeRequest();
    EXPECT_EQ(kill->Command, "K");
    EXPECT_EQ(kill->Mid, "SMS_AAAAAAAA");
}

TEST_F(Interpreter, PositionsOutsideTheListAreRefused) {
    const std::string refusal =
        "*** Numeric Mid exceeds LM index! Enter correct MID or index.\rSMS>";
    say("A", "r 2");
    EXPECT_EQ(sentText(), refusal) << "before any list";
    listThree();
    for (const char* line : {"r 4", "r 0", "r -1", "r 0.3", "r 3.7", "k 0.4"}) {
        say("A", line);
        EXPECT_EQ(sentText(), refusal) << line;
    }
    EXPECT_EQ(queues.CommandQueue.Count(), 0);
}

TEST_F(Interpreter, NonNumericArgumentPassesThrough) {
    say("A", "R SMS_123ABC");
    EXPECT_EQ(takeRequest()->Mid, "SMS_123ABC");
    say("A", "R");
    auto empty = takeRequest();
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->Mid, "");
}

TEST_F(Interpreter, SendPersonalDialogue) {
    say("A", "SP N0CALL,N1CALL");
    const StreamRecord& entry = core.streams()[1];
    EXPECT_EQ(entry.Destination, "N0CALL;N1CALL");
    ASSERT_EQ(entry.Mid.size(), 12u);
    EXPECT_EQ(entry.Mid.substr(0, 4), "SMS_");
    EXPECT_EQ(sentText(), "Enter the subject for new MID " + entry.Mid + " to N0CALL;N1CALL :\r");
    say("A", "bye\r");
    EXPECT_EQ(entry.Subject, "bye") << "no command is recognised while composing";
    EXPECT_EQ(sentText(), "Enter Msg, end with /EX on a separate line:\r");
    say("A", "line one\r");
    say("A", "/EX \r");
    say("A", "/ex");
    EXPECT_EQ(entry.Input, InputState::Command);
    auto request = takeRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->Command, "S");
    EXPECT_EQ(request->Body, "line one\r/EX \r");
    EXPECT_EQ(request->AddressTo, "N0CALL;N1CALL");
    EXPECT_EQ(request->Subject, "bye");
    EXPECT_EQ(request->AddressCc, "");
    EXPECT_EQ(request->Mid, entry.Mid);
    EXPECT_EQ(request->Originated, clock.now());
    EXPECT_EQ(sentText(), "");
}

TEST_F(Interpreter, EmptySubjectAndBody) {
    say("A", "SP W1AW");
    say("A", "\r");
    EXPECT_EQ(core.streams()[1].Subject, "(no subject)");
    say("A", "/EX\r");
    EXPECT_EQ(takeRequest()->Body, "(no message body found)");
    radio.data.clear();
    say("A", "SP");
    EXPECT_EQ(sentText(), "*** No Destination supplied with SP command!\rSMS>");
    EXPECT_EQ(core.streams()[1].Input, InputState::Command);
}

TEST_F(Interpreter, SubjectWithoutCrKeepsItsSpaces) {
    say("A", "SP W1AW");
    say("A", "  spaced  ");
    EXPECT_EQ(core.streams()[1].Subject, "  spaced  ");
}

TEST_F(Interpreter, DataForFreeOrUnknownStreamsIsDropped) {
    say("B", "LM");
    core.DataEvent("D1KLM");
    EXPECT_EQ(queues.CommandQueue.Count(), 0);
    EXPECT_EQ(sentText(), "");
}

TEST_F(Interpreter, ClosingTheStreamDiscardsTheHalfMadeMessage) {
    say("A", "SP W1AW");
    say("A", "subject\r");
    core.StatusEvent("S1A*** DISCONNECTED");
    connectUser("A", "N0CALL");
    EXPECT_EQ(core.streams()[1].Input, InputState::Command);
    say("A", "/EX");
    EXPECT_EQ(sentText(), "Command not supported...Type H for Help.\rSMS>");
}
