// The sysop console: button enabling by call sign, input checks, list positions, the
// command echo with the masked password, and replies shown in the reply box.
#include "gui/frm_main.h"
#include "main_fixture.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace gw;
using namespace gw::test;

namespace {
// The console's boxes and buttons on the main window, over a real core.
class Console : public NodeCoreTest {
  protected:
    frmMain view{core, dialogs};

    void SetUp() override {
        NodeCoreTest::SetUp();
        view.txtUserCall->setText("n0call");
        view.txtUserCall_LostFocus();
    }
    void listThree() {
        view.cmdList_Click();
        answer(*takeRequest(), listOf({"SMS_AAAAAAAA", "SMS_BBBBBBBB", "SMS_CCCCCCCC"}));
    }
};
} // namespace

TEST_F(Console, InitialTextsAndCallSignCheck) {
    EXPECT_EQ(view.txtSubject->text(), "Test SMS Message");
    EXPECT_EQ(view.txtMessage->toPlainText(),
              "This is a test\nThe quick brown fox jumps over the lazy dog's back 1234567890\n"
              "End of test\n");
    EXPECT_EQ(view.txtUserCall->text(), "N0CALL");
    EXPECT_TRUE(view.cmdKill->isEnabled() && view.cmdMessage->isEnabled());
    view.txtUserCall->setText("k4abc");
    view.txtUserCall_LostFocus();
    EXPECT_TRUE(view.cmdList->isEnabled() && view.cmdRead->isEnabled());
    EXPECT_FALSE(view.cmdKill->isEnabled() || view.cmdMessage->isEnabled());
}

TEST_F(Console, MissingInputsQueueNothing) {
    view.txtUserCall->clear();
    view.cmdList_Click();
    view.cmdRead_Click();
    view.txtUserCall->setText("N0CALL");
    view.txtTo->clear();
    view.cmdMessage_Click();
    ASSERT_EQ(dialogs.shown().size(), 3u);
    EXPECT_EQ(dialogs.shown()[0].text, "User's call required...");
    EXPECT_EQ(dialogs.shown()[0].icon, DialogIcon::None);
    EXPECT_EQ(dialogs.shown()[1].text, "User's call and MID required...");
    EXPECT_EQ(dialogs.shown()[2].text, "User's call, 'To:' address, and message text required...");
    EXPECT_EQ(queues.CommandQueue.Count(), 0);
}

TEST_F(Console, ListEchoWithMaskedPasswordAndWaitingText) {
    setup.pass = std::string(20, 'P');
    view.cmdList_Click();
    EXPECT_EQ(view.txtCommand->text().toStdString(),
              "L|N0CALL|" + std::string(13, '*') + "|N0CALL||");
    EXPECT_EQ(core.receivedText(), "Waiting for response from SMS Server...");
    auto request = takeRequest();
    EXPECT_EQ(request->Session.substr(0, 2), "00");
    EXPECT_TRUE(core.streams()[0].inUse());
    EXPECT_EQ(core.streams()[0].CallSign, "N0CALL");
}

TEST_F(Console, ListShowsLinesWithCrLfAndKeepsEntryForPositions) {
    listThree();
    EXPECT_EQ(core.receivedText(),
              "(1) SMS_AAAAAAAA  2026/05/01 09:05  120  K4ABC  Hi SMS_AAAAAAAA\r\n"
              "(2) SMS_BBBBBBBB  2026/05/01 09:05  120  K4ABC  Hi SMS_BBBBBBBB\r\n"
              "(3) SMS_CCCCCCCC  2026/05/01 09:05  120  K4ABC  Hi SMS_CCCCCCCC\r\n");
    EXPECT_TRUE(core.streams()[0].inUse());
    view.txtMID->setText("2");
    view.cmdRead_Click();
    EXPECT_EQ(view.txtMID->text(), "SMS_BBBBBBBB");
    EXPECT_EQ(takeRequest()->Mid, "SMS_BBBBBBBB");
    EXPECT_TRUE(radio.data.empty()) << "console replies never go to the radio";
}

TEST_F(Console, PositionsOutsideTheListAreRefused) {
    view.txtMID->setText("1");
    view.cmdRead_Click();
    listThree();
    for (const char* position : {"4", "0", "0.3"}) {
        view.txtMID->setText(position);
        view.cmdKill_Click();
    }
    ASSERT_EQ(dialogs.shown().size(), 4u);
    for (const auto& shown : dialogs.shown()) {
        EXPECT_EQ(shown.text, "Numeric Mid exceeds LM index! Enter correct MID or index.");
        EXPECT_EQ(shown.icon, DialogIcon::Exclamation);
    }
    EXPECT_EQ(queues.CommandQueue.Count(), 0);
}

TEST_F(Console, KillReplyClosesEntryAfterTheLastPendingReply) {
    view.txtMID->setText("sms_x1");
    view.cmdKill_Click();
    view.txtMID->setText("SMS_X2");
    view.cmdRead_Click();
    auto kill = takeRequest();
    auto read = takeRequest();
    EXPECT_EQ(kill->Mid, "SMS_X1");
    EXPECT_EQ(kill->UserCall, "N0CALL");
    answer(*kill, ok());
    EXPECT_EQ(core.receivedText(), "Destination N0CALL of Mid: SMS_X1 marked delivered!\r\n");
    EXPECT_TRUE(core.streams()[0].inUse()) << "the read reply is still on its way";
    answer(*read, failed("gone"));
    EXPECT_EQ(core.receivedText(), "Read Error: gone");
    EXPECT_FALSE(core.streams()[0].inUse());
}

TEST_F(Console, SendTheTestMessage) {
    view.txtTo->setText("K4ABC;W1AW");
    view.cmdMessage_Click();
    auto request = takeRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->Command, "S");
    EXPECT_EQ(request->Mid.substr(0, 4), "SMS_");
    EXPECT_EQ(view.txtMID->text().toStdString(), request->Mid);
    EXPECT_EQ(request->AddressTo, "K4ABC;W1AW");
    EXPECT_EQ(request->Subject, "Test SMS Message");
    EXPECT_EQ(request->Body, "This is a test\r\nThe quick brown fox jumps over the lazy dog's back "
                             "1234567890\r\nEnd of test\r\n");
    EXPECT_EQ(core.streams()[0].Mid, request->Mid);
    answer(*request, ok());
    EXPECT_EQ(core.receivedText(), "Mid: " + request->Mid + " accepted!\r\n");
}
