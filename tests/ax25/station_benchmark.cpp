// The station's cost: CPU for 1000 frames each way on one link (the peer's I frames taken and
// acknowledged, the node's sent and acknowledged), and a thousand callers at once, with the
// memory the station then holds (the hard cap keeps it to 64 links of full queues).
#include "ax25/station.h"
#include "support/fake_clock.h"

#include <benchmark/benchmark.h>
#include <fstream>
#include <unistd.h>

using namespace gw::ax25;
using namespace std::chrono_literals;

namespace {
std::string address(const std::string& call, bool flag, bool last) {
    std::string out;
    for (std::size_t i = 0; i < 6; ++i)
        out += static_cast<char>((i < call.size() ? call[i] : ' ') << 1);
    return out + static_cast<char>((flag ? 0x80 : 0) | 0x60 | (last ? 1 : 0));
}
std::string fromCaller(const std::string& call, char control, const std::string& info = {}) {
    return address("N0NODE", true, false) + address(call, false, true) + control + info;
}
long residentKiB() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

StationConfig config() {
    StationConfig c;
    c.call = "N0NODE";
    c.window = 7;
    c.idInterval = 0ms;
    return c;
}

void ThousandFramesEachWay(benchmark::State& state) {
    const std::string line(100, 'x');
    for (auto _ : state) {
        gw::FakeClock clock;
        std::size_t sent = 0, taken = 0;
        LinkId id = 0;
        StationEvents events;
        events.transmit = [&](int, const std::string&) { ++sent; };
        events.accept = [](int, const std::string&) { return true; };
        events.connected = [&](LinkId link) { id = link; };
        events.received = [&](LinkId, const std::string& data) { taken += data.size(); };
        Station station(config(), clock, std::move(events));
        station.receive(0, fromCaller("N1USR", '\x3F'));
        for (int i = 0; i < 1000; ++i) {
            const int n = i % 8;
            station.receive(0,
                            fromCaller("N1USR", static_cast<char>(n << 1 | n << 5), "\xF0" + line));
            station.send(id, line);
            station.tick();
            // The peer acknowledges our frame number n.
            station.receive(0, fromCaller("N1USR", static_cast<char>((n + 1) % 8 << 5 | 0x01)));
        }
        if (taken != 100000 || sent < 1001) state.SkipWithError("a frame was not taken or sent");
    }
    state.SetItemsProcessed(state.iterations() * 2000);
}
BENCHMARK(ThousandFramesEachWay)->Unit(benchmark::kMillisecond);

void ThousandCallers(benchmark::State& state) {
    for (auto _ : state) {
        const long before = residentKiB();
        gw::FakeClock clock;
        std::vector<LinkId> ids;
        StationEvents events;
        events.transmit = [](int, const std::string&) {};
        events.accept = [](int, const std::string&) { return true; };
        events.connected = [&](LinkId id) { ids.push_back(id); };
        Station station(config(), clock, std::move(events));
        for (int i = 0; i < 1000; ++i)
            station.receive(0, fromCaller("C" + std::to_string(i), '\x3F'));
        for (const LinkId id : ids)
            station.send(id, std::string(station.config().maxQueued, 'q'));
        station.tick();
        state.counters["links"] = static_cast<double>(station.links().size());
        state.counters["KiB"] = static_cast<double>(residentKiB() - before);
    }
}
BENCHMARK(ThousandCallers)->Unit(benchmark::kMillisecond)->Iterations(1);
} // namespace

BENCHMARK_MAIN();
