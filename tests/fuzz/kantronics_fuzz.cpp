// Fuzzes the Kantronics driver's SerialIn in host mode with serial bytes from a hostile TNC:
// every event is a data or status frame the decoder cut from the same bytes, in order, whatever
// the size of the reads; the driver's buffers stay under their bounds.
#include "fuzz_support.h"
#include "recording_tnc_host.h"
#include "tnc/ckam.h"
#include "tnc/ckan_multi.h"
#include "tnc/ckan_single.h"

#include <memory>

using namespace gw;

namespace {
// A TNC that goes from terminal to host mode as the driver asks.
std::string kantronicsAnswer(std::string_view sent) {
    if (sent == "INT HOST\r") return "INTFACE was TERMINAL\r\ncmd:";
    if (sent == "RESET\r") return std::string("\xC0\xC0S00\xC0");
    return "";
}

std::unique_ptr<CKantronics> makeDriver(std::uint8_t kind, TncHost& host) {
    switch (kind % 3) {
    case 0:
        return std::make_unique<CKANSingle>(host);
    case 1:
        return std::make_unique<CKANMulti>(host);
    default:
        return std::make_unique<CKAM>(host);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::ensureApplication();
    gw::fuzz::InputReader input(data, size);
    const std::uint8_t kind = input.byte();
    const std::size_t piece = 1 + input.byte() % 64;
    const std::string serial = input.rest();

    gw::fuzz::RecordingTncHost host;
    host.answer = kantronicsAnswer;
    std::unique_ptr<CKantronics> driver = makeDriver(kind, host);
    host.driver = driver.get();
    FUZZ_CHECK(driver->SetHostMode(), "the scripted TNC enters host mode");

    for (std::size_t at = 0; at < serial.size(); at += piece) {
        driver->SerialIn(serial.substr(at, piece));
        FUZZ_CHECK(driver->pendingFrameBytes() <= HostFrameDecoder::kMaxPending,
                   "a partial frame is bounded");
        FUZZ_CHECK(driver->rawBuffer().size() <= 2 * CKantronics::kRawKeep + piece,
                   "the raw buffer is bounded");
    }

    // The same bytes through the decoder alone: the driver raises exactly its D and S frames.
    std::vector<std::string> expectedData, expectedStatus;
    HostFrameDecoder reference([&](const std::string& body) {
        if (body[0] == 'D') expectedData.push_back(body);
        if (body[0] == 'S') expectedStatus.push_back(body);
    });
    reference.feed(serial);
    if (serial.size() < HostFrameDecoder::kMaxPending) {
        FUZZ_CHECK(host.data == expectedData, "data events are the data frames, in order");
        FUZZ_CHECK(host.statuses == expectedStatus, "status events are the status frames");
    }
    for (const std::string& event : host.data)
        FUZZ_CHECK(!event.empty() && event[0] == 'D', "a data event is a data frame");
    for (const std::string& event : host.statuses)
        FUZZ_CHECK(!event.empty() && event[0] == 'S', "a status event is a status frame");
    if (!host.data.empty()) FUZZ_CHECK(driver->lastDataFrame() == host.data.back(), "last data");
    return 0;
}
