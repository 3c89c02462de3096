// The monthly log file against a real folder: names, line ends, month change, failures.
#include "core/node_log.h"
#include "support/fake_clock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace gw;

namespace {
std::string readAll(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return "<missing>";
    return file.readAll().toStdString();
}

class NodeLogTest : public testing::Test {
  protected:
    QTemporaryDir dir;
    FakeClock clock{QDateTime(QDate(2026, 5, 31), QTime(23, 59, 30))};
    bool enabled = true;
    std::string folder = dir.path().toStdString() + "/";
    NodeLog log{{[this] { return enabled; }, [this] { return folder; }, [] { return "N0CALL"; },
                 [] { return "1"; }},
                clock};
    std::string file(const char* month) const {
        return dir.path().toStdString() + "/N0CALL_1_" + month + ".log";
    }
};
} // namespace

TEST(LogFileName, SeparatorAddedOnlyWhenMissing) {
    EXPECT_EQ(logFileName("/srv/node", "N0CALL", "1", 5), "/srv/node/N0CALL_1_05.log");
    EXPECT_EQ(logFileName("/srv/node/", "N0CALL", "10", 12), "/srv/node/N0CALL_10_12.log");
}

TEST_F(NodeLogTest, LinesEndWithCrLfAndAppend) {
    log.Log("first");
    log.Log("second");
    log.close();
    log.Log("third");
    EXPECT_EQ(readAll(file("05")), "first\r\nsecond\r\nthird\r\n");
}

TEST_F(NodeLogTest, FirstWriteOfNewMonthGoesToNewFile) {
    log.Log("may");
    clock.advance(std::chrono::minutes(1));
    log.Log("june");
    EXPECT_EQ(readAll(file("05")), "may\r\n");
    EXPECT_EQ(readAll(file("06")), "june\r\n");
    EXPECT_EQ(log.LogMonth(), 6);
}

TEST_F(NodeLogTest, FlushReopensForTheNewMonth) {
    log.Log("may");
    clock.advance(std::chrono::minutes(1));
    log.FlushLog();
    EXPECT_TRUE(log.isOpen());
    EXPECT_EQ(log.LogMonth(), 6);
    EXPECT_EQ(readAll(file("06")), "");
}

TEST_F(NodeLogTest, DisabledOrNoFolderWritesNothing) {
    enabled = false;
    log.Log("x");
    log.FlushLog();
    folder = "   ";
    enabled = true;
    log.Log("y");
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    EXPECT_FALSE(log.isOpen());
}

TEST_F(NodeLogTest, AFileThatCannotBeWrittenIsReportedOnceAndEarlyLinesWaitForIt) {
    // A line from before the log's settings are known reaches the journal at once.
    enabled = false;
    testing::internal::CaptureStderr();
    log.logEarly("early", JournalPriority::Error);
    enabled = true;
    folder = dir.path().toStdString() + "/later";
    log.Log("lost");
    log.Log("lost too");
    EXPECT_FALSE(log.isOpen());
    EXPECT_NE(log.problem().find(folder + "/N0CALL_1_05.log"), std::string::npos) << log.problem();
    const std::string journal = testing::internal::GetCapturedStderr();
    EXPECT_NE(journal.find("early"), std::string::npos);
    const std::string fault = "Log file cannot be written";
    EXPECT_EQ(journal.find(fault), journal.rfind(fault)) << "once: " << journal;
    ASSERT_NE(journal.find(fault), std::string::npos) << journal;

    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    log.Log("kept");
    EXPECT_EQ(readAll(folder + "/N0CALL_1_05.log"), "early\r\nkept\r\n");
    EXPECT_EQ(log.problem(), "");
}
