// Fuzzes the TNC2 driver's SerialIn with serial bytes from a hostile TNC, in converse mode
// (lines become data, link messages status) and in command mode (text up to "cmd:" is an
// answer, nothing becomes an event). Events hold one line each and do not depend on the size
// of the reads; the line buffer stays under its bound.
#include "fuzz_support.h"
#include "recording_tnc_host.h"
#include "tnc/ctnc2.h"

using namespace gw;

namespace {
struct Run {
    std::vector<std::string> data, statuses;
    std::string lastAnswer;
};

Run feed(const std::string& serial, std::size_t piece, bool commandMode) {
    gw::fuzz::RecordingTncHost host;
    host.answer = [](std::string_view sent) { return sent == "\r" ? "\r\ncmd:" : ""; };
    CTNC2 driver(host);
    host.driver = &driver;
    if (commandMode) FUZZ_CHECK(driver.SetCmdMode(), "the scripted TNC shows its prompt");
    for (std::size_t at = 0; at < serial.size(); at += piece) {
        driver.SerialIn(serial.substr(at, piece));
        FUZZ_CHECK(driver.pendingLineBytes() <= CTNC2::kMaxLine + piece, "the line is bounded");
        FUZZ_CHECK(driver.rawBuffer().size() <= 2 * CTNC2::kRawKeep + piece, "raw is bounded");
    }
    return {host.data, host.statuses, driver.lastCommandAnswer()};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::ensureApplication();
    gw::fuzz::InputReader input(data, size);
    const bool commandMode = (input.byte() & 1) != 0;
    const std::size_t piece = 1 + input.byte() % 64;
    const std::string serial = input.rest();

    const Run whole = feed(serial, serial.size() + 1, commandMode);
    const Run pieces = feed(serial, piece, commandMode);
    if (commandMode) {
        FUZZ_CHECK(whole.data.empty() && whole.statuses.empty(), "answers raise no events");
        FUZZ_CHECK(whole.lastAnswer.find("cmd:") == std::string::npos, "an answer ends at cmd:");
        if (serial.size() < CTNC2::kMaxLine)
            FUZZ_CHECK(pieces.lastAnswer == whole.lastAnswer, "the pieces do not change answers");
        return 0;
    }
    for (const std::string& event : whole.data) {
        FUZZ_CHECK(event.rfind("D1A", 0) == 0 && event.size() > 3, "data is a non-empty line");
        if (serial.size() < CTNC2::kMaxLine)
            FUZZ_CHECK(event.find('\r') == event.size() - 1, "one line, with its CR, per event");
    }
    for (const std::string& event : whole.statuses) {
        FUZZ_CHECK(event.rfind("S1A*** ", 0) == 0, "a status is a link message");
        FUZZ_CHECK(event.find('\r') == std::string::npos, "one line per status event");
    }
    if (serial.size() < CTNC2::kMaxLine) {
        FUZZ_CHECK(pieces.data == whole.data, "the pieces do not change the data lines");
        FUZZ_CHECK(pieces.statuses == whole.statuses, "the pieces do not change the status");
    }
    return 0;
}
