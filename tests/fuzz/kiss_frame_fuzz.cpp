// Fuzzes the KISS decoder with raw bytes from a TNC: every frame it hands on is non-empty,
// re-frames to bytes that decode to the same port and frame, and comes out the same however
// the input is cut; the partial frame it holds stays within its bound.
#include "fuzz_support.h"
#include "tnc/kiss_codec.h"

#include <vector>

namespace {
using Frames = std::vector<std::pair<int, std::string>>;

Frames decodeInPieces(std::string_view bytes, std::size_t piece) {
    Frames frames;
    gw::KissDecoder decoder(
        [&](int port, const std::string& frame) { frames.emplace_back(port, frame); });
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        decoder.feed(bytes.substr(at, piece));
        FUZZ_CHECK(decoder.pending() <= gw::KissDecoder::kMaxFrame + 1,
                   "the partial frame is bounded");
    }
    return frames;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the piece size of the second decoding, as reads vary.
    const std::size_t piece = 1 + data[0] % 32;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const Frames whole = decodeInPieces(bytes, bytes.size() + 1);
    for (const auto& [port, frame] : whole) {
        FUZZ_CHECK(!frame.empty() && frame.size() <= gw::KissDecoder::kMaxFrame,
                   "frames are non-empty and bounded");
        FUZZ_CHECK(port >= 0 && port <= 15, "the port is a nibble");
        const Frames again = decodeInPieces(gw::kissFrame(port, gw::KissCommand::Data, frame), 1);
        FUZZ_CHECK(again.size() == 1 && again[0] == std::make_pair(port, frame),
                   "a frame re-frames to itself");
    }
    FUZZ_CHECK(decodeInPieces(bytes, piece) == whole, "the pieces do not change the frames");
    return 0;
}
