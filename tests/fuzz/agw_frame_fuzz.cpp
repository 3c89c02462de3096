// Fuzzes the AGW frame reader with raw bytes from a modem program's TCP port: every frame it
// hands on is bounded and re-encodes to bytes that read back as the same frame; cutting the
// input into other pieces hands on the same frames and finds the same broken header.
#include "fuzz_support.h"
#include "tnc/agw_frame.h"

#include <vector>

using gw::AgwFrame;
using gw::AgwFrameReader;

namespace {
struct Run {
    std::vector<AgwFrame> frames;
    bool broken = false;
};

// Feeds until the reader finds a header no peer sends: the driver drops the connection there.
Run readInPieces(std::string_view bytes, std::size_t piece) {
    Run run;
    AgwFrameReader reader([&](AgwFrame frame) { run.frames.push_back(std::move(frame)); });
    for (std::size_t at = 0; at < bytes.size() && !run.broken; at += piece)
        run.broken = !reader.feed(bytes.substr(at, piece));
    return run;
}

bool same(const AgwFrame& a, const AgwFrame& b) {
    return a.port == b.port && a.kind == b.kind && a.pid == b.pid && a.callFrom == b.callFrom &&
           a.callTo == b.callTo && a.data == b.data;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the piece size of the second reading, as TCP reads vary.
    const std::size_t piece = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    const Run whole = readInPieces(bytes, bytes.size() + 1);
    for (const AgwFrame& frame : whole.frames) {
        FUZZ_CHECK(frame.data.size() <= AgwFrameReader::kMaxData, "data is bounded");
        FUZZ_CHECK(frame.callFrom.size() <= 10 && frame.callTo.size() <= 10, "calls are bounded");
        if (frame.callFrom.size() > 9 || frame.callTo.size() > 9) continue;
        const Run again = readInPieces(gw::encodeAgwFrame(frame), 7);
        FUZZ_CHECK(!again.broken && again.frames.size() == 1 && same(again.frames[0], frame),
                   "a handed-on frame re-encodes to itself");
    }
    const Run pieces = readInPieces(bytes, piece);
    FUZZ_CHECK(pieces.broken == whole.broken, "the pieces find the same broken header");
    FUZZ_CHECK(pieces.frames.size() == whole.frames.size(), "the pieces hand on the same frames");
    for (std::size_t i = 0; i < whole.frames.size(); ++i)
        FUZZ_CHECK(same(pieces.frames[i], whole.frames[i]), "the pieces do not change a frame");
    return 0;
}
