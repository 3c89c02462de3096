// How long a radio user waits over the two-direwolf channel, and the node's share of it: the
// time from the user's connect to the first prompt and the LM round trip, with brevane (type
// AGW) on the node's station, and with a trivial AGW client there that answers the same bytes
// at once. The difference is the node's own time.
#include "direwolf_rig.h"
#include "smsd_process.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <atomic>
#include <benchmark/benchmark.h>
#include <iostream>
#include <sched.h>
#include <thread>

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kGreeting = "Welcome to N0CALL\r\rIP connection verified.\rSMS>";
const std::string kList = "(1) SMS_SEED0002  2026/05/02 18:40  52  N2CALL  Net tonight\r"
                          "(2) SMS_SEED0003  2026/05/03 07:05  36  N0CALL  Antenna party\r\rSMS>";

struct Channel {
    QTemporaryDir dir;
    gwtest::DirewolfStation node;
    gwtest::DirewolfStation user;
    Channel() {
        const int a = gwtest::freePort(SOCK_DGRAM);
        int b = gwtest::freePort(SOCK_DGRAM);
        while (b == a)
            b = gwtest::freePort(SOCK_DGRAM);
        if (!node.start(dir.path() + "/n0call", "N0CALL", a, b, AUDIO_RELAY_PATH) ||
            !user.start(dir.path() + "/n1call", "N1CALL", b, a, AUDIO_RELAY_PATH))
            throw std::runtime_error("direwolf did not start");
    }
};

// One session: connect, first prompt, LM, its reply, bye; the two waits in seconds.
void session(benchmark::State& state, int agwPort) {
    double toPrompt = 0;
    double listTrip = 0;
    for (auto _ : state) {
        gwtest::AgwUser radio;
        if (!radio.connect(agwPort)) return state.SkipWithError("no user station");
        radio.send('X', "N1CALL", "");
        radio.next(5s);
        std::string heard;
        bool dropped = false;
        const auto until = [&](std::size_t prompts) {
            const auto deadline = Clock::now() + 60s;
            const auto count = [&] {
                std::size_t n = 0;
                for (auto at = heard.find("SMS>"); at != std::string::npos;
                     at = heard.find("SMS>", at + 1))
                    ++n;
                return n;
            };
            while (count() < prompts && !dropped && Clock::now() < deadline) {
                const auto frame = radio.next(1s);
                if (frame && frame->kind == 'D') heard += frame->data;
                if (frame && frame->kind == 'd') dropped = true;
            }
            return count() >= prompts;
        };
        const auto start = Clock::now();
        radio.send('C', "N1CALL", "N0CALL");
        if (!until(1)) return state.SkipWithError("no prompt after connect");
        const auto prompt = Clock::now();
        radio.send('D', "N1CALL", "N0CALL", "LM\r");
        if (!until(2)) return state.SkipWithError("no list");
        const auto listed = Clock::now();
        if (heard != kGreeting + kList) return state.SkipWithError(("heard: " + heard).c_str());
        radio.send('D', "N1CALL", "N0CALL", "B\r");
        const auto deadline = Clock::now() + 60s;
        while (!dropped && Clock::now() < deadline) {
            const auto frame = radio.next(1s);
            dropped = frame && frame->kind == 'd';
        }
        toPrompt += std::chrono::duration<double>(prompt - start).count();
        listTrip += std::chrono::duration<double>(listed - prompt).count();
        state.SetIterationTime(std::chrono::duration<double>(listed - start).count());
    }
    state.counters["connect_to_prompt_s"] = toPrompt / static_cast<double>(state.iterations());
    state.counters["lm_round_trip_s"] = listTrip / static_cast<double>(state.iterations());
}

void BM_Node(benchmark::State& state) {
    Channel channel;
    gwtest::SmsdProcess smsd({"--node", "N0CALL:SECRET", "--seed"});
    QProcess node;
    node.setProcessChannelMode(QProcess::ForwardedChannels);
    gwtest::startNode(node, BREVANE_PATH, channel.dir.path(), "AGW", channel.node.agwPort,
                      smsd.port());
    node.waitForStarted(5000);
    std::this_thread::sleep_for(3s); // Initialize: connect and register
    session(state, channel.user.agwPort);
    node.terminate();
    node.waitForFinished(10000);
}

// In the node's place: registers N0CALL and answers the same bytes the moment it is asked.
void BM_TrivialAnswerer(benchmark::State& state) {
    Channel channel;
    std::atomic<bool> stop = false;
    std::thread answerer([&] {
        gwtest::AgwUser station;
        if (!station.connect(channel.node.agwPort)) return;
        station.send('X', "N0CALL", "");
        while (!stop) {
            const auto frame = station.next(100ms);
            if (!frame) continue;
            if (frame->kind == 'C') station.send('D', "N0CALL", frame->from, kGreeting);
            if (frame->kind == 'D' && frame->data.rfind("LM", 0) == 0)
                station.send('D', "N0CALL", frame->from, kList);
            if (frame->kind == 'D' && frame->data.rfind("B", 0) == 0)
                station.send('d', "N0CALL", frame->from);
        }
    });
    std::this_thread::sleep_for(1s);
    session(state, channel.user.agwPort);
    stop = true;
    answerer.join();
}

BENCHMARK(BM_Node)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);
BENCHMARK(BM_TrivialAnswerer)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);
} // namespace

int main(int argc, char** argv) {
    if (QStandardPaths::findExecutable("direwolf").isEmpty()) {
        std::cerr << "direwolf is not installed: nothing to measure\n";
        return 0;
    }
    // A network of our own where allowed, so that nothing outside reaches the stations.
    if (::unshare(CLONE_NEWNET) == 0 && std::system("ip link set lo up") != 0) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
