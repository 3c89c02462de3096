// The node over KISS (its own AX.25 link layer) against the node over AGW (direwolf's link
// layer) on the two-direwolf rig, without loss and with about one frame in ten lost: the
// user's waits from connect to greeting, for one LM and for an R of a 2 KB message, which
// must arrive byte-exact, and the share of frames lost as the two stations logged them.
// Run by hand (scripts/bench_kiss.sh); prints a table.
#include "direwolf_rig.h"
#include "smsd_process.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sched.h>
#include <vector>

namespace {
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

struct Result {
    double greeting = 0, list = 0, read = 0; // seconds
    bool exact = false;
    int sent = 0, heard = 0; // frames on the air, both ways, and frames decoded
    std::string problem;
    double total() const { return greeting + list + read; }
};

class Session {
  public:
    Session(bool kiss, const QString& relayOptions) : m_kiss(kiss), m_relay(relayOptions) {}

    Result run() {
        Result result;
        gwtest::SmsdProcess smsd({"--node", "N0CALL:SECRET", "--seed"});
        if (!gwtest::storeBigMessage(smsd.port()))
            return fail(result, "the server did not store the message");
        const int a = gwtest::freePort(SOCK_DGRAM);
        int b = gwtest::freePort(SOCK_DGRAM);
        while (b == a)
            b = gwtest::freePort(SOCK_DGRAM);
        gwtest::DirewolfStation nodeStation, userStation;
        if (!nodeStation.start(m_dir.path() + "/node", m_kiss ? "N0TNC" : "N0CALL", a, b,
                               AUDIO_RELAY_PATH, m_kiss, m_relay) ||
            !userStation.start(m_dir.path() + "/user", "N1CALL", b, a, AUDIO_RELAY_PATH, false,
                               m_relay))
            return fail(result, "direwolf did not start");
        QProcess node;
        node.setProcessChannelMode(QProcess::MergedChannels);
        // The stations run FULLDUP ON, as the channel needs; the node's TNC is told the same.
        gwtest::startNode(node, BREVANE_PATH, m_dir.path(), m_kiss ? "KISS" : "AGW",
                          m_kiss ? nodeStation.kissPort : nodeStation.agwPort, smsd.port(),
                          {{"KISSFullDuplex", "True"}});
        const auto started = SteadyClock::now();
        while (log().find(" initialized @ ") == std::string::npos &&
               SteadyClock::now() - started < 20s)
            QThread::msleep(50);
        if (log().find(" initialized @ ") == std::string::npos)
            return fail(result, "the node did not initialize: " + log());

        if (!m_radio.connect(userStation.agwPort)) return fail(result, "no user station");
        m_radio.send('X', "N1CALL", "");
        m_radio.next(5s);
        auto start = SteadyClock::now();
        m_radio.send('C', "N1CALL", "N0CALL");
        if (!until(1)) return fail(result, "no greeting");
        result.greeting = secondsSince(start);
        start = SteadyClock::now();
        m_radio.send('D', "N1CALL", "N0CALL", "LM\r");
        if (!until(2)) return fail(result, "no list");
        result.list = secondsSince(start);
        const auto match =
            QRegularExpression("\\((\\d)\\) SMS_BIG00001 ").match(QString::fromStdString(m_heard));
        if (!match.hasMatch()) return fail(result, "the message is not listed");
        start = SteadyClock::now();
        m_radio.send('D', "N1CALL", "N0CALL", "R " + match.captured(1).toStdString() + "\r");
        if (!until(3)) return fail(result, "no read");
        result.read = secondsSince(start);
        const std::size_t at = m_heard.find("Mid: SMS_BIG00001");
        result.exact = at != std::string::npos && m_heard.substr(at) == gwtest::bigMessageAsRead();
        m_radio.send('D', "N1CALL", "N0CALL", "B\r");
        const auto bye = SteadyClock::now();
        while (!m_dropped && SteadyClock::now() - bye < 90s)
            take(1s);
        node.terminate();
        node.waitForFinished(20000);
        // The last frames of the session still on the air are heard before the count.
        QThread::sleep(3);
        for (const auto* station : {&nodeStation, &userStation}) {
            const auto counts = frameCounts(station->log());
            result.sent += counts.first;
            result.heard += counts.second;
        }
        return result;
    }

  private:
    // Frames a station sent ("[0L]", "[0H]") and frames it decoded ("[0]", "[0.3]") by its log.
    static std::pair<int, int> frameCounts(const std::string& log) {
        static const QRegularExpression sent("^\\[0[LH]\\] ", QRegularExpression::MultilineOption);
        static const QRegularExpression heard("^\\[0(\\.\\d)?\\] ",
                                              QRegularExpression::MultilineOption);
        const QString text = QString::fromStdString(log);
        const auto count = [&](const QRegularExpression& pattern) {
            int n = 0;
            for (auto it = pattern.globalMatch(text); it.hasNext(); it.next())
                ++n;
            return n;
        };
        return {count(sent), count(heard)};
    }
    static double secondsSince(SteadyClock::time_point start) {
        return std::chrono::duration<double>(SteadyClock::now() - start).count();
    }
    Result fail(Result result, const std::string& why) {
        result.problem = why;
        return result;
    }
    std::string log() const {
        QFile file(m_dir.path() + "/data/gullwick/N0CALL_1_" + QDate::currentDate().toString("MM") +
                   ".log");
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
    }
    void take(std::chrono::milliseconds limit) {
        const auto frame = m_radio.next(limit);
        if (frame && frame->kind == 'D') m_heard += frame->data;
        if (frame && frame->kind == 'd') m_dropped = true;
    }
    bool until(std::size_t prompts) {
        const auto deadline = SteadyClock::now() + 180s;
        const auto count = [&] {
            std::size_t n = 0;
            for (auto at = m_heard.find("SMS>"); at != std::string::npos;
                 at = m_heard.find("SMS>", at + 1))
                ++n;
            return n;
        };
        while (count() < prompts && !m_dropped && SteadyClock::now() < deadline)
            take(1s);
        return count() >= prompts;
    }

    bool m_kiss;
    QString m_relay;
    QTemporaryDir m_dir;
    gwtest::AgwUser m_radio;
    std::string m_heard;
    bool m_dropped = false;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (QStandardPaths::findExecutable("direwolf").isEmpty()) {
        std::fprintf(stderr, "direwolf is not installed: nothing to measure\n");
        return 0;
    }
    // A network of our own where allowed, so that nothing outside reaches the stations.
    if (::unshare(CLONE_NEWNET) == 0 && std::system("ip link set lo up") != 0) return 1;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2;
    struct Row {
        const char* channel;
        QString relay;
    };
    // The relay's share of 10 ms audio pieces lost, in percent. It ends up in a command line
    // the sound system runs through the shell, so only a number written anew goes there.
    bool isNumber = true;
    const double share = argc > 2 ? QString(argv[2]).toDouble(&isNumber) : 0.25;
    if (!isNumber || !(share >= 0 && share <= 100)) {
        std::fprintf(stderr, "usage: bench_kiss_session [runs] [drop percent, 0 to 100]\n");
        return 2;
    }
    const QString drop = QString::number(share);
    const Row channels[] = {{"no loss", ""}, {"lossy", "--drop " + drop + " --seed 5"}};
    std::printf(
        "%d run(s) each, median seconds; R = a 2 KB message, exact = every run byte-exact;\n"
        "lost = frames sent but not decoded by the other station\n"
        "%-10s %-5s %9s %7s %8s %8s %6s %6s\n",
        runs, "channel", "line", "greeting", "LM", "R 2 KB", "total", "exact", "lost");
    for (const Row& channel : channels) {
        double totals[2] = {0, 0};
        for (const bool kiss : {false, true}) {
            std::vector<double> greeting, list, read, total;
            bool exact = true;
            int sent = 0, heard = 0;
            for (int run = 0; run < runs; ++run) {
                const Result result = Session(kiss, channel.relay).run();
                if (!result.problem.empty())
                    std::fprintf(stderr, "%s %s run %d: %s\n", kiss ? "KISS" : "AGW",
                                 channel.channel, run + 1, result.problem.c_str());
                exact = exact && result.exact && result.problem.empty();
                greeting.push_back(result.greeting);
                list.push_back(result.list);
                read.push_back(result.read);
                total.push_back(result.total());
                sent += result.sent;
                heard += result.heard;
            }
            totals[kiss] = median(total);
            std::printf("%-10s %-5s %9.1f %7.1f %8.1f %8.1f %6s %5.1f%%\n", channel.channel,
                        kiss ? "KISS" : "AGW", median(greeting), median(list), median(read),
                        median(total), exact ? "yes" : "NO",
                        sent > 0 ? 100.0 * (sent - heard) / sent : 0.0);
            std::fflush(stdout);
        }
        std::printf("%-10s KISS/AGW total: %.2f\n", channel.channel,
                    totals[0] > 0 ? totals[1] / totals[0] : 0.0);
    }
    return 0;
}
