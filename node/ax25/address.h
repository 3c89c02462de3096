// An AX.25 address: a call sign of up to six letters and digits, an SSID, and the bit that means
// command/response (source, destination) or "has been repeated" (digipeater).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace gw::ax25 {

struct Address {
    std::string call; // 1-6 upper-case letters and digits
    int ssid = 0;     // 0-15
    bool flag = false;

    // "N0CALL" or "n0call-7"; nullopt for anything that is not a call sign.
    static std::optional<Address> parse(std::string_view text);
    // "N0CALL-7", without "-0".
    std::string text() const;
    bool sameStation(const Address& other) const {
        return call == other.call && ssid == other.ssid;
    }

    // Seven bytes on the wire; `last` sets the extension bit that ends the address field.
    std::string encode(bool last) const;
    // Reads seven bytes; `last` tells whether the extension bit was set.
    static std::optional<Address> decode(std::string_view bytes, bool& last);
};

} // namespace gw::ax25
