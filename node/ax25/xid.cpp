// The XID parameter codec. Wire format: format indicator 82, group identifier 80, the group's
// length (two bytes, high first), then parameters: identifier, length, value (high byte first).
//   2 classes of procedures, two bytes: 21 00 = balanced mode, half duplex
//   3 HDLC optional functions, three bytes: REJ 02 0000, SREJ 04 0000, multi-SREJ 00 0020,
//     segmenter 00 0040, modulo 8 00 0400, modulo 128 00 0800, TEST 00 2000, 16-bit FCS 00 8000,
//     extended address 80 0000, synchronous transmit 00 0002
//   6 I field length receive, in bits   8 window size receive
#include "ax25/xid.h"

#include <cstdint>

namespace gw::ax25 {

namespace {
constexpr unsigned char kFormat = 0x82;
constexpr unsigned char kGroup = 0x80;
constexpr int kClasses = 2, kOptions = 3, kInfoLength = 6, kWindow = 8;

constexpr std::uint32_t kBalancedHalfDuplex = 0x2100;
constexpr std::uint32_t kRej = 0x020000, kSrej = 0x040000, kMultiSrej = 0x000020;
constexpr std::uint32_t kModulo8 = 0x000400, kModulo128 = 0x000800;
// Extended address, 16-bit FCS, TEST, segments taken (reassembled), synchronous transmit.
constexpr std::uint32_t kAlways = 0x800000 | 0x008000 | 0x002000 | 0x000040 | 0x000002;

void put(std::string& out, int identifier, std::uint32_t value, int length) {
    out += static_cast<char>(identifier);
    out += static_cast<char>(length);
    for (int i = length - 1; i >= 0; --i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}
} // namespace

std::optional<XidParameters> parseXid(std::string_view info) {
    if (info.size() < 4 || static_cast<unsigned char>(info[0]) != kFormat ||
        static_cast<unsigned char>(info[1]) != kGroup)
        return std::nullopt;
    const std::size_t length =
        static_cast<unsigned char>(info[2]) << 8 | static_cast<unsigned char>(info[3]);
    if (length != info.size() - 4) return std::nullopt;
    XidParameters parameters;
    for (std::size_t at = 4; at < info.size();) {
        if (info.size() - at < 2) return std::nullopt;
        const int identifier = static_cast<unsigned char>(info[at]);
        const std::size_t size = static_cast<unsigned char>(info[at + 1]);
        at += 2;
        if (size > info.size() - at) return std::nullopt;
        if (size > 4) { // no parameter this station reads is that long
            at += size;
            continue;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value = value << 8 | static_cast<unsigned char>(info[at + i]);
        at += size;
        if (identifier == kOptions) {
            parameters.modulo128 = (value & kModulo128) != 0 && (value & kModulo8) == 0;
            parameters.selectiveReject = (value & (kSrej | kMultiSrej)) != 0;
        } else if (identifier == kInfoLength && value >= 8) {
            parameters.infoLength = static_cast<int>(value / 8);
        } else if (identifier == kWindow && value >= 1 && value <= 127) {
            parameters.window = static_cast<int>(value);
        }
    }
    return parameters;
}

std::string encodeXid(const XidParameters& parameters) {
    std::string group;
    put(group, kClasses, kBalancedHalfDuplex, 2);
    put(group, kOptions,
        kAlways | (parameters.selectiveReject ? kSrej : kRej) |
            (parameters.modulo128 ? kModulo128 : kModulo8),
        3);
    if (parameters.infoLength)
        put(group, kInfoLength, static_cast<std::uint32_t>(*parameters.infoLength) * 8, 2);
    if (parameters.window) put(group, kWindow, static_cast<std::uint32_t>(*parameters.window), 1);
    std::string info{static_cast<char>(kFormat), static_cast<char>(kGroup),
                     static_cast<char>(group.size() >> 8), static_cast<char>(group.size() & 0xFF)};
    return info + group;
}

} // namespace gw::ax25
