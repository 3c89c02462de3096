// Fuzzes the AX.25 frame decoder with raw bytes from a KISS TNC: a frame it reads, at either
// modulo, writes back to bytes that read as the same frame, and the two-step reading the
// station uses (addresses, then control) agrees with the whole.
#include "ax25/frame.h"
#include "ax25/xid.h"
#include "fuzz_support.h"

using namespace gw::ax25;

namespace {
bool same(const Address& a, const Address& b) {
    return a.sameStation(b) && a.flag == b.flag;
}

bool same(const Frame& a, const Frame& b) {
    if (!same(a.destination, b.destination) || !same(a.source, b.source) ||
        a.digipeaters.size() != b.digipeaters.size())
        return false;
    for (std::size_t i = 0; i < a.digipeaters.size(); ++i)
        if (!same(a.digipeaters[i], b.digipeaters[i])) return false;
    const Control &x = a.control, &y = b.control;
    return x.type == y.type && x.pollFinal == y.pollFinal && x.ns == y.ns && x.nr == y.nr &&
           x.pid == y.pid && x.info == y.info;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const bool modulo128 : {false, true}) {
        const auto frame = decodeFrame(bytes, modulo128);
        std::size_t length = 0;
        const auto addresses = decodeAddresses(bytes, length);
        FUZZ_CHECK(!frame || (addresses && decodeControl(bytes.substr(length), modulo128)),
                   "the two-step reading agrees with the whole");
        if (!frame) continue;
        FUZZ_CHECK(frame->digipeaters.size() <= kMaxDigipeaters, "at most eight digipeaters");
        FUZZ_CHECK(frame->control.info.size() < size, "the information comes from the frame");
        const std::string again = encodeFrame(*frame, modulo128);
        FUZZ_CHECK(again.size() == size, "a frame writes back to its own length");
        const auto reread = decodeFrame(again, modulo128);
        FUZZ_CHECK(reread && same(*reread, *frame), "a frame writes back to itself");
        if (frame->control.type == FrameType::XID) {
            if (const auto xid = parseXid(frame->control.info)) {
                FUZZ_CHECK(!xid->window || (*xid->window >= 1 && *xid->window <= 127),
                           "an XID window is in range");
                FUZZ_CHECK(parseXid(encodeXid(*xid)).has_value(), "an XID answer reads back");
            }
        }
    }
    return 0;
}
