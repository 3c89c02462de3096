// smsd under failing and hostile conditions, over loopback: a failing or locked database, a
// stop or crash mid-request, clients that pin memory, drip bytes, exhaust descriptors, hold every
// slot their address may have or flood refusals, and radio text that must not steer its log.
#include "smsd_process.h"

#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace gwtest;
using namespace std::chrono_literals;

namespace {
const QStringList kAccount{"--node", "GW1MBO:pw"};
const std::string kAuth = "GW1MBO|pw|";

std::string send(const std::string& mid, const std::string& body = "b") {
    return "S|" + kAuth + "N0CALL|" + mid + "|\r\nTo: N5CALL\r\nSubject: s\r\n\r\n" + body +
           "\r\n/EX\r\n";
}

bool sendAll(int fd, const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t n = ::send(fd, text.data() + at, text.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return false;
        at += std::size_t(n);
    }
    return true;
}

// Seconds of CPU the process has used.
double cpuSeconds(qint64 pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i)
        if (i >= 14) ticks += std::stod(field);
    return ticks / double(sysconf(_SC_CLK_TCK));
}

std::size_t descriptors(qint64 pid) {
    const std::filesystem::path folder = "/proc/" + std::to_string(pid) + "/fd";
    return std::size_t(std::distance(std::filesystem::directory_iterator(folder), {}));
}

long rssKiB(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// A second program on the same database file.
struct OtherProgram {
    explicit OtherProgram(const QString& path) { sqlite3_open(path.toUtf8().constData(), &db); }
    ~OtherProgram() { sqlite3_close(db); }
    int run(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
    sqlite3* db = nullptr;
};

// How often `text` occurs in `log`.
std::size_t occurrences(const std::string& log, const std::string& text) {
    std::size_t count = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
        ++count;
    return count;
}
} // namespace

TEST(SmsdHostile, DatabaseFailuresFailTheRequestAndTheServerGoesOn) {
    QTemporaryDir folder;
    const QString db = folder.filePath("store.sqlite");
    SmsdProcess smsd(kAccount + QStringList{"--db", db, "--busy-timeout", "1"});
    ASSERT_TRUE(smsd.running()) << smsd.log();
    OtherProgram other(db);

    // A lock released within the busy timeout only delays the request.
    ASSERT_EQ(other.run("BEGIN EXCLUSIVE"), SQLITE_OK);
    const int waiting = connectTo(smsd.port());
    ASSERT_TRUE(sendAll(waiting, send("SMS_LOCK1")));
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(other.run("COMMIT"), SQLITE_OK);
    EXPECT_TRUE(finish(waiting).closed);

    // A lock held beyond it fails the request; what reads still reads.
    ASSERT_EQ(other.run("BEGIN EXCLUSIVE"), SQLITE_OK);
    EXPECT_TRUE(exchange(smsd.port(), send("SMS_LOCK2")).reset);
    EXPECT_EQ(exchange(smsd.port(), "L|" + kAuth + "N5CALL|\r\n").reply.find("SMS_LOCK1|"), 0u);
    ASSERT_EQ(other.run("COMMIT"), SQLITE_OK);

    // Any other database error: a reset for L, K and S, the error line for R.
    ASSERT_EQ(other.run("DROP TABLE recipients"), SQLITE_OK);
    EXPECT_TRUE(exchange(smsd.port(), "L|" + kAuth + "N5CALL|\r\n").reset);
    EXPECT_TRUE(exchange(smsd.port(), "K|" + kAuth + "N5CALL|SMS_LOCK1|\r\n").reset);
    EXPECT_TRUE(exchange(smsd.port(), send("SMS_LOCK3")).reset);
    const Exchange read = exchange(smsd.port(), "R|" + kAuth + "N5CALL|SMS_LOCK1|\r\n");
    EXPECT_TRUE(read.closed);
    EXPECT_EQ(read.reply.find("\r\n\r\n"), std::string::npos) << read.reply;
    EXPECT_NE(read.reply, "");
    const std::string log = smsd.log();
    EXPECT_NE(log.find("database error"), std::string::npos) << log;
    EXPECT_NE(log.find("SMS_LOCK2: refused, database error: locked"), std::string::npos) << log;
}

TEST(SmsdHostile, StopAndCrashResetUnfinishedRequests) {
    for (const bool crash : {false, true}) {
        SmsdProcess smsd(kAccount);
        ASSERT_TRUE(smsd.running());
        const int half = connectTo(smsd.port());
        ASSERT_TRUE(sendAll(half, "S|" + kAuth + "N0CALL|SMS_HALF|\r\nTo: N5CALL\r\n"));
        const int silent = connectTo(smsd.port());
        std::this_thread::sleep_for(200ms);
        if (crash)
            smsd.kill();
        else
            EXPECT_EQ(smsd.terminate(), 0);
        EXPECT_TRUE(finish(half).reset) << (crash ? "kill -9" : "SIGTERM");
        EXPECT_TRUE(finish(silent).reset) << (crash ? "kill -9" : "SIGTERM");
    }
}

TEST(SmsdHostile, BoundsMemoryAndConnections) {
    SmsdProcess smsd(kAccount + QStringList{"--idle-timeout", "1", "--max-connections", "30"});
    ASSERT_TRUE(smsd.running());
    // The refusal of a read does not repeat a long call sign.
    const std::string longCall(4000, 'N');
    const Exchange denied = exchange(smsd.port(), "R|" + longCall + "|x|N0CALL|M1|\r\n");
    EXPECT_TRUE(denied.closed);
    EXPECT_LT(denied.reply.size(), 100u) << denied.reply.substr(0, 60);

    // Clients that send megabytes of call sign and read nothing cost little.
    const long before = rssKiB(smsd.pid());
    std::vector<int> hogs;
    const std::string hog = "R|" + std::string(4 << 20, 'N') + "|x|N0CALL|M1|\r\n";
    for (int i = 0; i < 20; ++i) {
        hogs.push_back(connectTo(smsd.port()));
        sendAll(hogs.back(), hog);
    }
    std::this_thread::sleep_for(300ms);
    const long grown = rssKiB(smsd.pid()) - before;
    EXPECT_LT(grown, 40 * 1024) << "KiB grown for 20 clients";
    for (int fd : hogs)
        ::close(fd);

    // An answer nobody reads is reset at the idle timeout.
    ASSERT_TRUE(exchange(smsd.port(), send("SMS_BIG", std::string(3 << 20, 'x'))).closed);
    const int small = 4096;
    const int idle = connectTo(smsd.port());
    ::setsockopt(idle, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ASSERT_TRUE(sendAll(idle, "R|" + kAuth + "N5CALL|SMS_BIG|\r\n"));
    std::this_thread::sleep_for(1500ms);
    const Exchange late = finish(idle);
    EXPECT_TRUE(late.reset) << late.reply.size() << " bytes, then a normal close";

    // Connections beyond the cap are reset; a freed slot serves again.
    std::vector<int> held;
    for (int i = 0; i < 30; ++i)
        held.push_back(connectTo(smsd.port()));
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(exchange(smsd.port(), "L|" + kAuth + "N5CALL|\r\n").reset);
    for (int fd : held)
        ::close(fd);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(exchange(smsd.port(), "L|" + kAuth + "N5CALL|\r\n").closed);
    EXPECT_NE(smsd.log().find("connection limit of 30 reached"), std::string::npos);
}

TEST(SmsdHostile, OneAddressAtItsLimitDoesNotStopAnother) {
    SmsdProcess smsd(kAccount + QStringList{"--max-per-address", "4", "--max-connections", "8"});
    ASSERT_TRUE(smsd.running()) << smsd.log();
    const std::string list = "L|" + kAuth + "N5CALL|\r\n";
    // 127.0.0.2 tries to take every slot.
    std::vector<int> held;
    for (int i = 0; i < 8; ++i)
        held.push_back(connectTo(smsd.port(), "127.0.0.2"));
    ASSERT_EQ(std::count(held.begin(), held.end(), -1), 0);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(exchange(smsd.port(), list, "127.0.0.2").reset) << "beyond its limit";
    EXPECT_TRUE(exchange(smsd.port(), list, "127.0.0.1").closed) << "another address is served";

    // Its slots are its own again once it lets go.
    for (int fd : held)
        ::close(fd);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(exchange(smsd.port(), list, "127.0.0.2").closed);
    EXPECT_EQ(occurrences(smsd.log(), "127.0.0.2: connection limit of 4 per address reached"), 1u)
        << smsd.log();
}

TEST(SmsdHostile, RepeatedRefusalsAreLoggedAsACount) {
    SmsdProcess smsd(kAccount + QStringList{"--refusal-log-period", "1"});
    ASSERT_TRUE(smsd.running()) << smsd.log();
    const std::string wrong = "refused, unknown node account or wrong password";
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(exchange(smsd.port(), "L|GW1MBO|nope|N5CALL|\r\n").reset);
    EXPECT_TRUE(exchange(smsd.port(), "R|GW1MBO|nope|N5CALL|M1|\r\n").closed);
    EXPECT_TRUE(exchange(smsd.port(), "Q|" + kAuth + "N5CALL|\r\n").reset);
    const std::string counted = wrong + ": 5 more refused in the last 1 s";
    std::string log = smsd.log();
    for (int i = 0; i < 30 && log.find(counted) == std::string::npos; ++i)
        log = smsd.log();
    EXPECT_NE(log.find(counted), std::string::npos) << log;
    EXPECT_EQ(occurrences(log, wrong + "\n"), 1u) << log;
    EXPECT_EQ(occurrences(log, ": refused, malformed request ("), 1u) << "a kind of its own";

    // A period with no refusal ends the episode: the next refusal has its line again.
    std::this_thread::sleep_for(1200ms);
    EXPECT_TRUE(exchange(smsd.port(), "K|GW1MBO|nope|N5CALL|M1|\r\n").reset);
    log = smsd.log();
    EXPECT_EQ(occurrences(log, wrong + "\n"), 2u) << log;
    EXPECT_EQ(occurrences(log, "more refused"), 1u) << log;
}

TEST(SmsdHostile, ChecksTheAccountFirstAndReadsDripsCheaply) {
    SmsdProcess smsd(kAccount);
    ASSERT_TRUE(smsd.running());
    const int wrong = connectTo(smsd.port());
    ASSERT_TRUE(sendAll(wrong, "S|GW1MBO|bad|N0CALL|SMS_X|\r\nTo: N5CALL\r\n"));
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(finish(wrong).reply, "Access denied for GW1MBO\r\n") << "refused before the body";
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);

    // Eight clients drip 1 MiB messages in small pieces.
    const double cpuBefore = cpuSeconds(smsd.pid());
    std::vector<std::thread> drips;
    std::vector<char> stored(8, 0);
    for (int c = 0; c < 8; ++c)
        drips.emplace_back([&, c] {
            std::string body;
            while (body.size() < (1 << 20))
                body += std::string(62, 'a' + c) + "\r\n";
            const std::string text = send("SMS_DRIP" + std::to_string(c), body);
            const int fd = connectTo(smsd.port());
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            for (std::size_t at = 0; at < text.size(); at += 512) {
                sendAll(fd, text.substr(at, 512));
                std::this_thread::sleep_for(1ms);
            }
            stored[std::size_t(c)] = finish(fd).closed;
        });
    for (std::thread& t : drips)
        t.join();
    EXPECT_EQ(std::count(stored.begin(), stored.end(), 1), 8);
    EXPECT_LT(cpuSeconds(smsd.pid()) - cpuBefore, 1.5) << "seconds of CPU for 8 MiB";
}

TEST(SmsdHostile, PausesAcceptingWhenOutOfDescriptors) {
    SmsdProcess smsd(kAccount);
    ASSERT_TRUE(smsd.running()) << smsd.log();
    const std::size_t idle = descriptors(smsd.pid());
    ASSERT_TRUE(exchange(smsd.port(), "L|" + kAuth + "N5CALL|\r\n").closed);
    // smsd lets the connection go after the client has read the answer; that must happen first,
    // as the sanitizers' checks need descriptors of their own and fail out of them.
    for (int i = 0; i < 100 && descriptors(smsd.pid()) > idle; ++i)
        std::this_thread::sleep_for(20ms);
    // Lowering the descriptor limit below what smsd holds makes every accept fail.
    const QString pid = QString::number(smsd.pid());
    ASSERT_EQ(QProcess::execute("prlimit", {"--pid", pid, "--nofile=4:"}), 0);
    std::vector<int> clients;
    for (int i = 0; i < 5; ++i)
        clients.push_back(connectTo(smsd.port()));
    std::this_thread::sleep_for(300ms);
    const double before = cpuSeconds(smsd.pid());
    std::this_thread::sleep_for(1s);
    EXPECT_LT(cpuSeconds(smsd.pid()) - before, 0.2) << "seconds of CPU in one second";
    ASSERT_EQ(QProcess::execute("prlimit", {"--pid", pid, "--nofile=1024:"}), 0);
    EXPECT_TRUE(exchange(smsd.port(), "L|" + kAuth + "N5CALL|\r\n").closed);
    for (int fd : clients)
        ::close(fd);
    const std::string log = smsd.log();
    const std::string paused = "cannot accept connections (Too many open files): pausing";
    const std::size_t first = log.find(paused);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(paused, first + 1), std::string::npos) << "logged once";
}

TEST(SmsdHostile, MidsIgnoreCaseAndRadioTextIsLoggedSafely) {
    SmsdProcess smsd(kAccount + QStringList{"--seed"});
    ASSERT_TRUE(smsd.running());
    EXPECT_TRUE(exchange(smsd.port(), "k|gw1mbo|pw|n0call|sms_seed0001|\r\n").closed);
    EXPECT_EQ(exchange(smsd.port(), "R|" + kAuth + "N0CALL|Sms_Seed0002|\r\n").reply.find("Mid: "),
              0u);
    EXPECT_EQ(exchange(smsd.port(), send("sms_seed0003")).reply,
              "MID already stored: sms_seed0003\r\n")
        << "a MID is taken in any case";

    const int cut = connectTo(smsd.port());
    ASSERT_TRUE(sendAll(cut, "S|" + kAuth + "N0CALL|SMS_CUT|\r\nTo: N5CALL\r\n"));
    std::this_thread::sleep_for(100ms);
    ::close(cut);
    const std::string hostile = "N0\x1b[2J\x07" + std::string(200, 'Z');
    EXPECT_TRUE(exchange(smsd.port(), "L|" + kAuth + hostile + "|\r\n").closed);
    const std::string log = smsd.log();
    EXPECT_NE(log.find("S GW1MBO N0CALL SMS_CUT: cut short by the client"), std::string::npos)
        << log;
    EXPECT_NE(log.find("L GW1MBO N0\\x1B[2J\\x07ZZZ"), std::string::npos) << log;
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
    EXPECT_EQ(log.find(std::string(100, 'Z')), std::string::npos) << "call signs are cut";
}
