// Fuzzes the host-mode frame decoder with raw serial bytes: every body it hands on is
// non-empty and re-frames to text that decodes to the same body; cutting the input into other
// pieces hands on the same bodies; the partial frame it keeps stays under its bound.
#include "fuzz_support.h"
#include "tnc/host_frame_codec.h"

#include <vector>

using gw::HostFrameDecoder;

namespace {
std::vector<std::string> decodeInPieces(std::string_view text, std::size_t piece) {
    std::vector<std::string> bodies;
    HostFrameDecoder decoder([&](const std::string& body) { bodies.push_back(body); });
    for (std::size_t at = 0; at < text.size(); at += piece) {
        decoder.feed(text.substr(at, piece));
        FUZZ_CHECK(decoder.pending() <= HostFrameDecoder::kMaxPending, "pending text is bounded");
    }
    return bodies;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the piece size of the second decoding, as serial reads vary.
    const std::size_t piece = 1 + data[0] % 32;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    const std::vector<std::string> whole = decodeInPieces(text, text.size() + 1);
    for (const std::string& body : whole) {
        FUZZ_CHECK(!body.empty(), "no empty frame is handed on");
        FUZZ_CHECK(gw::hostUnescape(gw::hostEscape(body)) == body, "escaping is undone exactly");
        const std::vector<std::string> again = decodeInPieces(gw::hostFrame("", body), 1);
        FUZZ_CHECK(again.size() == 1 && again[0] == body, "a handed-on body re-frames to itself");
    }
    // A frame longer than the bound may be dropped at a different place in other pieces.
    if (text.size() < HostFrameDecoder::kMaxPending)
        FUZZ_CHECK(decodeInPieces(text, piece) == whole, "the pieces do not change the frames");
    return 0;
}
