// The sysop console: button enabling by call sign, input checks, list positions, the
// command echo with the masked password, and replies shown in the reply box.
#include "main_fixture.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace gw;
using namespace gw::test;

namespace {
class Console : public FrmMainTest {
  protected:
    void SetUp() override {
        FrmMainTest::SetUp();
        main.txtUserCall->setText("n0call");
        main.txtUserCall_LostFocus();
    }
    void listThree() {
        main.cmdList_Click();
        answer(*takeRequest(), listOf({"SMS_AAAAAAAA", "SMS_BBBBBBBB", "SMS_CCCCCCCC"}));
    }
};
} // namespace

TEST_F(Console, InitialTextsAndCallSignCheck) {
    EXPECT_EQ(main.txtSubject->text(), "Test SMS Message");
    EXPECT_EQ(main.txtMessage->toPlainText(),
              "This is a test\nThe quick brown fox jumps over the lazy dog's back 1234567890\n"
              "End of test\n");
    EXPECT_EQ(main.txtUserCall->text(), "N0CALL");
    EXPECT_TRUE(main.cmdKill->isEnabled() && main.cmdMessage->isEnabled());
    main.txtUserCall->setText("k4abc");
    main.txtUserCall_LostFocus();
    EXPECT_TRUE(main.cmdList->isEnabled() && main.cmdRead->isEnabled());
    EXPECT_FALSE(main.cmdKill->isEnabled() || main.cmdMessage->isEnabled());
}

TEST_F(Console, MissingInputsQueueNothing) {
    main.txtUserCall->clear();
    main.cmdList_Click();
    main.cmdRead_Click();
    main.txtUserCall->setText("N0CALL");
    main.txtTo->clear();
    main.cmdMessage_Click();
    ASSERT_EQ(dialogs.shown().size(), 3u);
    EXPECT_EQ(dialogs.shown()[0].text, "User's call required...");
    EXPECT_EQ(dialogs.shown()[0].icon, DialogIcon::None);
    EXPECT_EQ(dialogs.shown()[1].text, "User's call and MID required...");
    EXPECT_EQ(dialogs.shown()[2].text, "User's call, 'To:' address, and message text required...");
    EXPECT_EQ(queues.CommandQueue.Count(), 0);
}

TEST_F(Console, ListEchoWithMaskedPasswordAndWaitingText) {
    setup.pass = std::string(20, 'P');
    main.cmdList_Click();
    EXPECT_EQ(main.txtCommand->text().toStdString(),
              "L|N0CALL|" + std::string(13, '*') + "|N0CALL||");
    EXPECT_EQ(main.receivedText(), "Waiting for response from SMS Server...");
    auto request = takeRequest();
    EXPECT_EQ(request->Session.substr(0, 2), "00");
    EXPECT_TRUE(main.Streams[0].inUse());
    EXPECT_EQ(main.Streams[0].CallSign, "N0CALL");
}

TEST_F(Console, ListShowsLinesWithCrLfAndKeepsEntryForPositions) {
    listThree();
    EXPECT_EQ(main.receivedText(),
              "(1) SMS_AAAAAAAA  2026/05/01 09:05  120  K4ABC  Hi SMS_AAAAAAAA\r\n"
              "(2) SMS_BBBBBBBB  2026/05/01 09:05  120  K4ABC  Hi SMS_BBBBBBBB\r\n"
              "(3) SMS_CCCCCCCC  2026/05/01 09:05  120  K4ABC  Hi SMS_CCCCCCCC\r\n");
    EXPECT_TRUE(main.Streams[0].inUse());
    main.txtMID->setText("2");
    main.cmdRead_Click();
    EXPECT_EQ(main.txtMID->text(), "SMS_BBBBBBBB");
    EXPECT_EQ(takeRequest()->Mid, "SMS_BBBBBBBB");
    EXPECT_TRUE(radio.data.empty()) << "console replies never go to the radio";
}

TEST_F(Console, PositionsOutsideTheListAreRefused) {
    main.txtMID->setText("1");
    main.cmdRead_Click();
    listThree();
    for (const char* position : {"4", "0", "0.3"}) {
        main.txtMID->setText(position);
        main.cmdKill_Click();
    }
    ASSERT_EQ(dialogs.shown().size(), 4u);
    for (const auto& shown : dialogs.shown()) {
        EXPECT_EQ(shown.text, "Numeric Mid exceeds LM index! Enter correct MID or index.");
        EXPECT_EQ(shown.icon, DialogIcon::Exclamation);
    }
    EXPECT_EQ(queues.CommandQueue.Count(), 0);
}

TEST_F(Console, KillReplyClosesEntryAfterTheLastPendingReply) {
    main.txtMID->setText("sms_x1");
    main.cmdKill_Click();
    main.txtMID->setText("SMS_X2");
    main.cmdRead_Click();
    auto kill = takeRequest();
    auto read = takeRequest();
    EXPECT_EQ(kill->Mid, "SMS_X1");
    EXPECT_EQ(kill->UserCall, "N0CALL");
    answer(*kill, ok());
    EXPECT_EQ(main.receivedText(), "Destination N0CALL of Mid: SMS_X1 marked delivered!\r\n");
    EXPECT_TRUE(main.Streams[0].inUse()) << "the read reply is still on its way";
    answer(*read, failed("gone"));
    EXPECT_EQ(main.receivedText(), "Read Error: gone");
    EXPECT_FALSE(main.Streams[0].inUse());
}

TEST_F(Console, SendTheTestMessage) {
    main.txtTo->setText("K4ABC;W1AW");
    main.cmdMessage_Click();
    auto request = takeRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->Command, "S");
    EXPECT_EQ(request->Mid.substr(0, 4), "SMS_");
    EXPECT_EQ(main.txtMID->text().toStdString(), request->Mid);
    EXPECT_EQ(request->AddressTo, "K4ABC;W1AW");
    EXPECT_EQ(request->Subject, "Test SMS Message");
    EXPECT_EQ(request->Body, "This is a test\r\nThe quick brown fox jumps over the lazy dog's back "
                             "1234567890\r\nEnd of test\r\n");
    EXPECT_EQ(main.Streams[0].Mid, request->Mid);
    answer(*request, ok());
    EXPECT_EQ(main.receivedText(), "Mid: " + request->Mid + " accepted!\r\n");
}
