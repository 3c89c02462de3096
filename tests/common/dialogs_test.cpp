// The headless and recording message boxes answer without blocking.
#include "common/dialogs.h"

#include <gtest/gtest.h>

using namespace gw;

TEST(Dialogs, HeadlessAnswersOkAndCopiesToLog) {
    HeadlessDialogs dialogs;
    std::string logged;
    dialogs.setLogSink([&](const std::string& line) { logged = line; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(dialogs.message(DialogIcon::Critical, "Title", "Text", DialogButtons::OkCancel),
              DialogAnswer::Ok);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Title: Text\n");
    EXPECT_EQ(logged, "Title: Text");
}

TEST(Dialogs, RecorderKeepsOrderAndQueuedAnswers) {
    RecordingDialogs dialogs;
    dialogs.queueAnswer(DialogAnswer::Cancel);
    EXPECT_EQ(dialogs.message(DialogIcon::Exclamation, "A", "1", DialogButtons::OkCancel),
              DialogAnswer::Cancel);
    EXPECT_EQ(dialogs.message(DialogIcon::None, "B", "2", DialogButtons::Ok), DialogAnswer::Ok);
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[0].title, "A");
    EXPECT_EQ(dialogs.shown()[1].icon, DialogIcon::None);
}
