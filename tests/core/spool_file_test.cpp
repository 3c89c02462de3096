// The spool's file when things go wrong under it: damaged, deleted while in use, on a full or
// a read-only tmpfs of the test's own; each case checks what the user hears, what the log and
// the status views say, and that no message told "queued" is lost without a line naming it.
#include "spool_fixture.h"

#include "server/request_queue.h"
#include "server/session_key.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sched.h>
#include <sqlite3.h>
#include <sys/mount.h>

using namespace gw;
using namespace gw::test;

namespace {
constexpr std::size_t npos = std::string::npos;

// The MIDs waiting in a spool file, read as another program would.
std::vector<std::string> waitingIn(const std::string& path) {
    std::vector<std::string> mids;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* row = nullptr;
        sqlite3_prepare_v2(db, "SELECT mid FROM waiting ORDER BY seq", -1, &row, nullptr);
        while (sqlite3_step(row) == SQLITE_ROW)
            mids.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(row, 0)));
        sqlite3_finalize(row);
    }
    sqlite3_close(db);
    return mids;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Six messages of N1CALL waiting in a spool file, damaged by `damage` before the node starts.
class DamagedSpool : public Spooling {
  protected:
    void prepare() override {
        QDir().mkpath(QString::fromStdString(spoolFolder()));
        {
            Spool spool;
            std::string problem;
            ASSERT_TRUE(spool.open(spoolPath(), {}, problem)) << problem;
            for (int i = 1; i <= 6; ++i) {
                const std::string mid = "SMS_DAMAGE0" + std::to_string(i);
                mids.push_back(mid);
                ASSERT_EQ(spool.add({mid, "N1CALL", "W1AW", "", "s", "text", clock.now()}),
                          Spool::AddResult::Stored);
            }
        }
        damage();
        testing::internal::CaptureStderr();
    }
    virtual void damage() = 0;
    std::vector<std::string> mids;
};

class TruncatedSpool : public DamagedSpool {
    void damage() override {
        QFile file(QString::fromStdString(spoolPath()));
        ASSERT_TRUE(file.resize(file.size() / 2));
    }
};

class OverwrittenPage : public DamagedSpool {
    // The second page holds the table of waiting messages.
    void damage() override {
        std::fstream file(spoolPath(), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(4096);
        file.write(std::string(4096, '\x55').data(), 4096);
    }
};

// A small tmpfs mounted on the spool's folder, seen by this test's process alone.
class SpoolOnTmpfs : public Spooling {
  protected:
    void prepare() override {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            GTEST_SKIP() << "no mount namespace of its own: " << std::strerror(errno);
        QDir().mkpath(QString::fromStdString(spoolFolder()));
        if (::mount("tmpfs", spoolFolder().c_str(), "tmpfs", 0, "size=256k,mode=0700") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
        mounted = true;
    }
    void TearDown() override {
        Spooling::TearDown();
        if (mounted) ::umount2(spoolFolder().c_str(), MNT_DETACH);
    }
    void remount(bool readOnly) {
        ASSERT_EQ(::mount(nullptr, spoolFolder().c_str(), nullptr,
                          MS_REMOUNT | (readOnly ? MS_RDONLY : 0), nullptr),
                  0)
            << std::strerror(errno);
    }
    // Takes every free block of the tmpfs.
    void fill() {
        std::ofstream filler(spoolFolder() + "filler", std::ios::binary);
        const std::string block(4096, 'x');
        for (int i = 0; i < 1000 && filler.write(block.data(), 4096); ++i)
            filler.flush();
    }
    void unfill() { std::remove((spoolFolder() + "filler").c_str()); }
    bool mounted = false;
};

class ReadOnlySpool : public SpoolOnTmpfs {
    void prepare() override {
        SpoolOnTmpfs::prepare();
        if (mounted) remount(true);
    }
};
} // namespace

TEST_F(TruncatedSpool, ReadableMessagesAreCarriedIntoAFreshSpoolAndSentAfterAMinute) {
    const std::string journal = testing::internal::GetCapturedStderr();
    EXPECT_NE(journal.find("the spool file was damaged"), npos) << journal;
    const std::string log = logText();
    EXPECT_NE(log.find("the spool file was damaged (database disk image is malformed): kept as " +
                       spoolPath() + ".damaged-"),
              npos)
        << log;
    EXPECT_NE(log.find("6 message(s) carried into a new spool, 0 could not be read"), npos) << log;
    EXPECT_EQ(waitingIn(spoolPath()), mids);
    EXPECT_EQ(QDir(QString::fromStdString(spoolFolder()))
                  .entryList({"spool1.db.damaged-*"}, QDir::Files)
                  .size(),
              1);
    const NodeCore::SpoolState state = core.spoolState();
    EXPECT_EQ(state.health, NodeCore::SpoolHealth::Ok);
    ASSERT_TRUE(state.repair);
    EXPECT_EQ(state.repair->carried, 6);

    // They go in their order, the first a minute after the start.
    EXPECT_EQ(retryAfter(59), nullptr);
    auto forward = retryAfter(1);
    ASSERT_NE(forward, nullptr);
    EXPECT_EQ(forward->Mid, mids.front());
}

TEST_F(OverwrittenPage, UnreadableMessagesAreNamedInTheLogAndCounted) {
    const std::string journal = testing::internal::GetCapturedStderr();
    const std::string log = logText();
    EXPECT_NE(log.find("0 message(s) carried into a new spool, 6 could not be read."), npos) << log;
    for (const std::string& mid : mids) {
        const std::string line = "MID : " + mid + " could not be read from the damaged spool";
        EXPECT_NE(log.find(line), npos) << mid;
        EXPECT_NE(journal.find(line), npos) << "at once, before the log opened: " << mid;
    }
    const NodeCore::SpoolState state = core.spoolState();
    EXPECT_EQ(state.health, NodeCore::SpoolHealth::Ok);
    ASSERT_TRUE(state.repair && state.figures);
    EXPECT_EQ(state.repair->lost.size(), 6u);
    EXPECT_EQ(state.figures->waiting, 0) << "the fresh spool holds nothing it cannot read";
    // The node goes on queueing.
    auto request = send("after");
    answer(*request, failed("Connection refused"));
    EXPECT_EQ(sentText(), "Mid: " + request->Mid +
                              " queued; it will be sent when the server can be reached.\rSMS>");
}

TEST_F(SpoolOnTmpfs, ADeletedSpoolIsMadeAnewAndWhenItCannotBeTheUserHearsItFailed) {
    auto first = send("first");
    answer(*first, failed("Connection refused"));
    ASSERT_EQ(std::remove(spoolPath().c_str()), 0);
    core.forwardSpoolWhenDue();
    EXPECT_NE(logText().find("was deleted or replaced while in use: made anew with the 1 "
                             "message(s) waiting in it."),
              npos)
        << logText();
    // His next message goes in behind the first, in the file that is now the spool.
    auto forward = send("second");
    const std::string second = core.streams()[1].Mid;
    EXPECT_EQ(waitingIn(spoolPath()), (std::vector<std::string>{first->Mid, second}));
    ASSERT_NE(forward, nullptr);
    answer(*forward, failed("Connection refused"));

    // Deleted again on a full file system: no new file can be made.
    fill();
    ASSERT_EQ(std::remove(spoolPath().c_str()), 0);
    core.forwardSpoolWhenDue();
    EXPECT_EQ(core.spoolState().health, NodeCore::SpoolHealth::Error);
    EXPECT_NE(core.spoolState().problem.find("cannot be made anew"), npos);
    compose("third");
    EXPECT_NE(sentText().find("Mid: " + core.streams()[1].Mid + " failed!\rSMS>"), npos);
    core.requestStop();
    for (const std::string& mid : {first->Mid, second})
        EXPECT_NE(logText().find("MID : " + mid + " lost: the spool file was deleted"), npos)
            << mid;
}

TEST_F(SpoolOnTmpfs, OnAFullDiskADeliveredMessageIsRememberedAndTheNextStillGoes) {
    auto first = send("one");
    answer(*first, failed("Connection refused"));
    compose("two");
    EXPECT_NE(sentText().find(" queued; it will be sent after your earlier messages.\rSMS>"), npos);
    auto forward = takeRequest();
    ASSERT_NE(forward, nullptr);
    answer(*forward, failed("Connection refused"));
    const std::vector<std::string> queued = waitingIn(spoolPath());
    ASSERT_EQ(queued.size(), 2u);

    fill();
    answer(*ask("LM"), listOf({}));
    for (const std::string& mid : queued) {
        forward = takeRequest();
        ASSERT_NE(forward, nullptr) << mid;
        EXPECT_EQ(forward->Mid, mid);
        answer(*forward, ok());
    }
    core.forwardSpoolWhenDue();
    const std::string log = logText();
    EXPECT_EQ(occurrences(log, "forwarded, but the spool could not drop it (database or disk is "
                               "full); it is not offered again."),
              2u)
        << log;
    NodeCore::SpoolState state = core.spoolState();
    EXPECT_EQ(state.health, NodeCore::SpoolHealth::Error);
    EXPECT_NE(state.problem.find("database or disk is full"), npos) << state.problem;
    ASSERT_TRUE(state.figures);
    EXPECT_EQ(state.figures->waiting, 0);
    EXPECT_EQ(state.figures->undropped, 2);

    // A new message cannot be queued: its user hears it failed, the log says why.
    auto third = send("three");
    ASSERT_NE(third, nullptr);
    answer(*third, failed("Connection refused"));
    EXPECT_EQ(sentText(), "Mid: " + third->Mid + " failed!\rSMS>");
    EXPECT_NE(logText().find("MID : " + third->Mid +
                             " not queued, the spool failed (database or disk is full): "
                             "Connection refused"),
              npos);

    unfill();
    core.forwardSpoolWhenDue();
    EXPECT_EQ(waitingIn(spoolPath()), std::vector<std::string>{});
    EXPECT_NE(logText().find("MID : " + queued[1] + " dropped from the spool at last."), npos);
    EXPECT_EQ(core.spoolState().health, NodeCore::SpoolHealth::Ok);
}

TEST_F(ReadOnlySpool, AnUnopenableSpoolIsAnErrorUntilItCanBeOpened) {
    const std::string log = logText();
    EXPECT_NE(log.find("cannot open the spool, store-and-forward is off until it can: cannot "
                       "open " +
                       spoolPath()),
              npos)
        << log;
    NodeCore::SpoolState state = core.spoolState();
    EXPECT_EQ(state.health, NodeCore::SpoolHealth::Unopenable);
    EXPECT_NE(state.problem.find(spoolPath()), npos);

    auto request = send("lost?");
    answer(*request, failed("Connection refused"));
    EXPECT_EQ(sentText(), "Mid: " + request->Mid + " failed!\rSMS>");
    EXPECT_NE(logText().find("MID : " + request->Mid + " not queued, the spool cannot be opened"),
              npos);

    remount(false);
    EXPECT_EQ(retryAfter(60), nullptr);
    EXPECT_NE(logText().find("the spool is open: store-and-forward is on."), npos);
    EXPECT_EQ(core.spoolState().health, NodeCore::SpoolHealth::Ok);
}
