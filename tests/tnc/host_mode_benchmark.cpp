// Throughput of the Kantronics driver's SerialIn in host mode: 1 MiB and 8 MiB of mixed frames
// (data with escaped bytes, status, monitor, command answers) arriving in random pieces of up to
// 1000 bytes, as the serial port hands them over. The cost per byte must not grow with the
// amount of traffic (bounded buffers, no rescans).
#include "scripted_tncs.h"

#include <benchmark/benchmark.h>
#include <random>

using namespace gw;
using namespace gw::test;

namespace {
std::vector<std::string> traffic(std::size_t bytes) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255), length(1, 200), kind(0, 9);
    std::string line;
    while (line.size() < bytes) {
        std::string body;
        for (int n = length(random); n > 0; --n)
            body += static_cast<char>(byte(random));
        switch (kind(random)) {
        case 0:
            line += hostFrame("S1A", "*** CONNECTED to N0CALL");
            break;
        case 1:
            line += hostFrame("M1A", body);
            break;
        case 2:
            line += hostFrame("C10", "PACLEN 128");
            break;
        default:
            line += hostFrame("D1A", body);
            break;
        }
    }
    std::vector<std::string> chunks;
    std::uniform_int_distribution<std::size_t> chunk(1, 1000);
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t n = std::min(chunk(random), line.size() - at);
        chunks.push_back(line.substr(at, n));
        at += n;
    }
    return chunks;
}

struct CountingMain : MainWindowPort {
    std::size_t events = 0;
    void StatusEvent(const std::string&) override { ++events; }
    void DataEvent(const std::string&) override { ++events; }
    int Index(const std::string&, int) override { return 1; }
    void MonitorMsg(int, const std::string&, const std::string&) override {}
    void Log(const std::string&) override {}
    void showOutgoingTraffic(int) override {}
    void setTncStatus(const std::string&, bool) override {}
};

void SerialInHostMode(benchmark::State& state) {
    const auto chunks = traffic(static_cast<std::size_t>(state.range(0)) << 20);
    std::size_t total = 0;
    for (const auto& chunk : chunks)
        total += chunk.size();

    // A dispatch whose main window only counts: the benchmark measures the driver.
    Rig rig;
    CountingMain counter;
    TncDispatch dispatch(rig.setup, counter, rig.serial,
                         TncDispatch::Services{rig.store, rig.dialogs, rig.pump, rig.clock});
    ScriptedKantronics tnc{rig.serial};
    rig.pump.setHook([&] {
        if (dispatch.polling()) dispatch.tmrPollSerial_Timer();
    });
    dispatch.setPolling(true);
    auto& measured = static_cast<CKantronics&>(*dispatch.CreateDriver("KPC3"));
    if (!measured.SetHostMode()) {
        state.SkipWithError("the scripted TNC did not reach host mode");
        return;
    }
    dispatch.setPolling(false);
    for (auto _ : state) {
        for (const auto& chunk : chunks)
            measured.SerialIn(chunk);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(total));
    state.counters["ns_per_byte"] =
        benchmark::Counter(static_cast<double>(total) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["events"] = static_cast<double>(counter.events);
}
} // namespace

BENCHMARK(SerialInHostMode)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
