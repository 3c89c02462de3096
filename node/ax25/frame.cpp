// The AX.25 frame codec. Wire format (bytes as a KISS TNC hands them over, FCS removed):
//
//   destination(7) source(7) [digipeater(7) x 0-8] control(1 or 2) [PID(1)] [information]
//
// Address: six characters, space-padded, each shifted left one bit, then the SSID byte
// C R R S S S S E: C = command/response bit (in a digipeater: H, "has been repeated"), RR
// reserved (sent as 11), SSSS the SSID, E = 1 on the last address only. Destination C = 1 and
// source C = 0 make a command; the reverse a response.
//
// Control, modulo 8 (P/F = 0x10):       Control, modulo 128 (I and S two bytes, U one):
//   I  N(R) P N(S) 0                      I  N(S) 0      | N(R) P
//   S  N(R) P/F S S 0 1                   S  0000 S S 0 1 | N(R) P/F
//   U  M M M P/F M M 1 1                  U  as modulo 8
// S: RR 00, RNR 01, REJ 10, SREJ 11. U (P/F clear): SABME 6F, SABM 2F, DISC 43, DM 0F, UA 63,
// FRMR 87, UI 03, XID AF, TEST E3. I and UI frames carry a PID (F0: no layer 3); XID, TEST and
// FRMR carry an information field without one; the others carry nothing after the control.
#include "ax25/frame.h"

#include <algorithm>
#include <iterator>

namespace gw::ax25 {

namespace {
constexpr std::size_t kAddressLength = 7;
constexpr unsigned char kPollFinal = 0x10;

struct UnnumberedCode {
    FrameType type;
    unsigned char code;
};
constexpr UnnumberedCode kUnnumbered[] = {
    {FrameType::SABME, 0x6F}, {FrameType::SABM, 0x2F}, {FrameType::DISC, 0x43},
    {FrameType::DM, 0x0F},    {FrameType::UA, 0x63},   {FrameType::FRMR, 0x87},
    {FrameType::UI, 0x03},    {FrameType::XID, 0xAF},  {FrameType::TEST, 0xE3},
};
constexpr FrameType kSupervisory[] = {FrameType::RR, FrameType::RNR, FrameType::REJ,
                                      FrameType::SREJ};

bool takesPid(FrameType type) {
    return type == FrameType::I || type == FrameType::UI;
}
bool takesInfo(FrameType type) {
    return takesPid(type) || type == FrameType::XID || type == FrameType::TEST ||
           type == FrameType::FRMR;
}
int supervisoryBits(FrameType type) {
    for (int bits = 0; bits < 4; ++bits)
        if (kSupervisory[bits] == type) return bits;
    return -1;
}
unsigned char byteAt(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}
} // namespace

std::optional<Frame> decodeAddresses(std::string_view bytes, std::size_t& length) {
    Frame frame;
    std::size_t count = 0;
    for (bool last = false; !last; ++count) {
        if (count == 2 + kMaxDigipeaters) return std::nullopt; // no end: too many digipeaters
        if (bytes.size() < (count + 1) * kAddressLength) return std::nullopt;
        const auto address = Address::decode(bytes.substr(count * kAddressLength), last);
        if (!address) return std::nullopt;
        if (count == 0) {
            if (last) return std::nullopt; // a source must follow
            frame.destination = *address;
        } else if (count == 1) {
            frame.source = *address;
        } else {
            frame.digipeaters.push_back(*address);
        }
    }
    length = count * kAddressLength;
    return frame;
}

std::optional<Control> decodeControl(std::string_view bytes, bool modulo128) {
    if (bytes.empty()) return std::nullopt;
    Control control;
    const unsigned char first = byteAt(bytes, 0);
    std::size_t length = 1;
    if ((first & 0x01) == 0 || (first & 0x03) == 0x01) {
        const bool information = (first & 0x01) == 0;
        if (modulo128) {
            if (bytes.size() < 2 || (!information && (first & 0xF0) != 0)) return std::nullopt;
            const unsigned char second = byteAt(bytes, 1);
            control.nr = second >> 1;
            control.pollFinal = (second & 0x01) != 0;
            length = 2;
        } else {
            control.nr = first >> 5;
            control.pollFinal = (first & kPollFinal) != 0;
        }
        if (information) {
            control.type = FrameType::I;
            control.ns = (first >> 1) & (modulo128 ? 0x7F : 0x07);
        } else {
            control.type = kSupervisory[(first >> 2) & 0x03];
        }
    } else {
        const unsigned char code = first & ~kPollFinal;
        const auto* found =
            std::find_if(std::begin(kUnnumbered), std::end(kUnnumbered),
                         [code](const UnnumberedCode& u) { return u.code == code; });
        if (found == std::end(kUnnumbered)) return std::nullopt;
        control.type = found->type;
        control.pollFinal = (first & kPollFinal) != 0;
    }
    bytes.remove_prefix(length);
    if (takesPid(control.type)) {
        if (bytes.empty()) return std::nullopt;
        control.pid = byteAt(bytes, 0);
        bytes.remove_prefix(1);
    }
    if (!bytes.empty() && !takesInfo(control.type)) return std::nullopt;
    control.info = std::string(bytes);
    return control;
}

std::optional<Frame> decodeFrame(std::string_view bytes, bool modulo128) {
    std::size_t length = 0;
    auto frame = decodeAddresses(bytes, length);
    if (!frame) return std::nullopt;
    auto control = decodeControl(bytes.substr(length), modulo128);
    if (!control) return std::nullopt;
    frame->control = std::move(*control);
    return frame;
}

std::string encodeFrame(const Frame& frame, bool modulo128) {
    std::string bytes = frame.destination.encode(false);
    bytes += frame.source.encode(frame.digipeaters.empty());
    for (std::size_t i = 0; i < frame.digipeaters.size(); ++i)
        bytes += frame.digipeaters[i].encode(i + 1 == frame.digipeaters.size());

    const Control& c = frame.control;
    const int mask = modulo128 ? 0x7F : 0x07;
    const int pf = c.pollFinal ? 1 : 0;
    const int supervisory = supervisoryBits(c.type);
    if (c.type == FrameType::I || supervisory >= 0) {
        const int low = c.type == FrameType::I ? (c.ns & mask) << 1 : supervisory << 2 | 0x01;
        if (modulo128) {
            bytes += static_cast<char>(low);
            bytes += static_cast<char>((c.nr & mask) << 1 | pf);
        } else {
            bytes += static_cast<char>((c.nr & mask) << 5 | pf << 4 | low);
        }
    } else {
        for (const UnnumberedCode& u : kUnnumbered)
            if (u.type == c.type) bytes += static_cast<char>(u.code | pf << 4);
    }
    if (takesPid(c.type)) bytes += static_cast<char>(c.pid);
    if (takesInfo(c.type)) bytes += c.info;
    return bytes;
}

} // namespace gw::ax25
