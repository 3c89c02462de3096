// The AX.25 address codec: call sign characters shifted one bit left, then the SSID byte.
#include "ax25/address.h"

#include <algorithm>
#include <cctype>

namespace gw::ax25 {

namespace {
constexpr std::size_t kCallLength = 6;
constexpr unsigned char kFlagBit = 0x80;
constexpr unsigned char kReservedBits = 0x60;
constexpr unsigned char kExtensionBit = 0x01;

bool isCallCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}
} // namespace

std::optional<Address> Address::parse(std::string_view text) {
    const std::size_t dash = text.find('-');
    std::string call(text.substr(0, dash));
    std::transform(call.begin(), call.end(), call.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    if (call.empty() || call.size() > kCallLength ||
        !std::all_of(call.begin(), call.end(), isCallCharacter))
        return std::nullopt;
    Address address{std::move(call)};
    if (dash != std::string_view::npos) {
        const std::string_view ssid = text.substr(dash + 1);
        if (ssid.empty() || ssid.size() > 2 ||
            !std::all_of(ssid.begin(), ssid.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        address.ssid = std::stoi(std::string(ssid));
        if (address.ssid > 15) return std::nullopt;
    }
    return address;
}

std::string Address::text() const {
    return ssid == 0 ? call : call + '-' + std::to_string(ssid);
}

std::string Address::encode(bool last) const {
    std::string bytes;
    for (std::size_t i = 0; i < kCallLength; ++i)
        bytes += static_cast<char>((i < call.size() ? call[i] : ' ') << 1);
    bytes += static_cast<char>((flag ? kFlagBit : 0) | kReservedBits | (ssid & 0x0F) << 1 |
                               (last ? kExtensionBit : 0));
    return bytes;
}

std::optional<Address> Address::decode(std::string_view bytes, bool& last) {
    if (bytes.size() < kCallLength + 1) return std::nullopt;
    Address address;
    bool padding = false;
    for (std::size_t i = 0; i < kCallLength; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte & kExtensionBit) return std::nullopt; // the field ends only after an SSID byte
        const char c = static_cast<char>(byte >> 1);
        if (c == ' ') {
            padding = true;
        } else if (padding || !isCallCharacter(c)) {
            return std::nullopt;
        } else {
            address.call += c;
        }
    }
    if (address.call.empty()) return std::nullopt;
    const auto ssidByte = static_cast<unsigned char>(bytes[kCallLength]);
    address.flag = (ssidByte & kFlagBit) != 0;
    address.ssid = (ssidByte >> 1) & 0x0F;
    last = (ssidByte & kExtensionBit) != 0;
    return address;
}

} // namespace gw::ax25
