// The headless message boxes answer without blocking.
#include "common/dialogs.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace gw;

TEST(Dialogs, HeadlessAnswersOkToTheJournalUntilTheLogTakesOver) {
    HeadlessDialogs dialogs;
    // Under systemd a line carries its priority, and outside text cannot start another line.
    ::setenv("JOURNAL_STREAM", "8:1", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(
        dialogs.message(DialogIcon::Critical, "Title", "Text\n<6>fake", DialogButtons::OkCancel),
        DialogAnswer::Ok);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "<3>Title: Text\\x0A<6>fake\n");
    ::unsetenv("JOURNAL_STREAM");

    JournalPriority priority = JournalPriority::Info;
    std::string logged;
    dialogs.setLogSink([&](JournalPriority p, const std::string& line) {
        priority = p;
        logged = line;
    });
    dialogs.message(DialogIcon::Exclamation, "", "Warned", DialogButtons::Ok);
    EXPECT_EQ(priority, JournalPriority::Warning);
    EXPECT_EQ(logged, "Warned");
}
