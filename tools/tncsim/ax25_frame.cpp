// AX.25 frames encoded and checked.
#include "ax25_frame.h"

#include <array>
#include <cctype>

namespace tncsim::ax25 {
namespace {
constexpr std::size_t kAddressSize = 7;
constexpr std::size_t kMaxDigipeaters = 8;

struct KindBits {
    Kind kind;
    int bits; // U frames: the control byte without P/F; S frames: the two type bits
};
constexpr std::array<KindBits, 4> kSupervisory{
    {{Kind::RR, 0}, {Kind::RNR, 1}, {Kind::REJ, 2}, {Kind::SREJ, 3}}};
constexpr std::array<KindBits, 9> kUnnumbered{{{Kind::SABM, 0x2F},
                                               {Kind::SABME, 0x6F},
                                               {Kind::DISC, 0x43},
                                               {Kind::UA, 0x63},
                                               {Kind::DM, 0x0F},
                                               {Kind::FRMR, 0x87},
                                               {Kind::UI, 0x03},
                                               {Kind::XID, 0xAF},
                                               {Kind::TEST, 0xE3}}};

template <std::size_t N>
std::optional<int> bitsOf(const std::array<KindBits, N>& table, Kind kind) {
    for (const auto& entry : table)
        if (entry.kind == kind) return entry.bits;
    return std::nullopt;
}

void appendAddress(std::string& out, const Address& address, bool bit, bool last) {
    std::string call = address.call.substr(0, 6);
    call.resize(6, ' ');
    for (const char c : call)
        out += static_cast<char>(static_cast<unsigned char>(c) << 1);
    out +=
        static_cast<char>((bit ? 0x80 : 0) | 0x60 | ((address.ssid & 0x0F) << 1) | (last ? 1 : 0));
}

bool readAddress(std::string_view bytes, std::size_t at, Address& address, std::string& error) {
    std::string call;
    bool padding = false;
    for (std::size_t i = 0; i < 6; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[at + i]);
        const char c = static_cast<char>(byte >> 1);
        if ((byte & 1) != 0) {
            error = "address ends inside a call";
            return false;
        }
        if (c == ' ') {
            padding = true;
            continue;
        }
        if (padding || !(std::isupper(static_cast<unsigned char>(c)) ||
                         std::isdigit(static_cast<unsigned char>(c)))) {
            error = "address is no call sign";
            return false;
        }
        call += c;
    }
    if (call.empty()) {
        error = "empty call in an address";
        return false;
    }
    const auto ssid = static_cast<unsigned char>(bytes[at + 6]);
    address = {call, (ssid >> 1) & 0x0F, (ssid & 0x80) != 0};
    return true;
}
} // namespace

std::string Address::text() const {
    return call + (ssid != 0 ? "-" + std::to_string(ssid) : "");
}

std::optional<Address> parseAddress(const std::string& text) {
    const auto dash = text.find('-');
    Address address{text.substr(0, dash), 0, false};
    if (address.call.empty() || address.call.size() > 6) return std::nullopt;
    for (const char c : address.call)
        if (!std::isupper(static_cast<unsigned char>(c)) &&
            !std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    if (dash != std::string::npos) {
        const std::string ssid = text.substr(dash + 1);
        if (ssid.empty() || ssid.size() > 2 ||
            ssid.find_first_not_of("0123456789") != std::string::npos || std::stoi(ssid) > 15)
            return std::nullopt;
        address.ssid = std::stoi(ssid);
    }
    return address;
}

const char* kindName(Kind kind) {
    static constexpr std::array<const char*, 14> names{"I",    "RR",    "RNR",  "REJ", "SREJ",
                                                       "SABM", "SABME", "DISC", "UA",  "DM",
                                                       "FRMR", "UI",    "XID",  "TEST"};
    return names[static_cast<std::size_t>(kind)];
}

std::string encode(const Frame& frame, int modulus) {
    std::string out;
    appendAddress(out, frame.destination, frame.command, false);
    appendAddress(out, frame.source, !frame.command, frame.digipeaters.empty());
    for (std::size_t i = 0; i < frame.digipeaters.size(); ++i)
        appendAddress(out, frame.digipeaters[i], frame.digipeaters[i].bit,
                      i + 1 == frame.digipeaters.size());
    const int pf = frame.pollFinal ? 1 : 0;
    const int mask = modulus - 1;
    if (frame.kind == Kind::I) {
        if (modulus == 8) {
            out += static_cast<char>((frame.nr & mask) << 5 | pf << 4 | (frame.ns & mask) << 1);
        } else {
            out += static_cast<char>((frame.ns & mask) << 1);
            out += static_cast<char>((frame.nr & mask) << 1 | pf);
        }
        out += static_cast<char>(frame.pid);
        return out + frame.info;
    }
    if (const auto type = bitsOf(kSupervisory, frame.kind)) {
        if (modulus == 8) {
            out += static_cast<char>((frame.nr & mask) << 5 | pf << 4 | *type << 2 | 1);
        } else {
            out += static_cast<char>(*type << 2 | 1);
            out += static_cast<char>((frame.nr & mask) << 1 | pf);
        }
        return out;
    }
    out += static_cast<char>(*bitsOf(kUnnumbered, frame.kind) | pf << 4);
    if (frame.kind == Kind::UI) out += static_cast<char>(frame.pid);
    return out + frame.info;
}

bool decodeAddresses(std::string_view bytes, Frame& frame, std::size_t& controlAt,
                     std::string& error) {
    std::vector<Address> addresses;
    std::size_t at = 0;
    for (;;) {
        if (bytes.size() < at + kAddressSize + 1) {
            error = "frame ends inside its addresses";
            return false;
        }
        Address address;
        if (!readAddress(bytes, at, address, error)) return false;
        addresses.push_back(address);
        const bool last = (static_cast<unsigned char>(bytes[at + 6]) & 1) != 0;
        at += kAddressSize;
        if (last) break;
        if (addresses.size() == 2 + kMaxDigipeaters) {
            error = "more than 8 digipeaters";
            return false;
        }
    }
    if (addresses.size() < 2) {
        error = "only one address";
        return false;
    }
    frame.destination = addresses[0];
    frame.source = addresses[1];
    frame.digipeaters.assign(addresses.begin() + 2, addresses.end());
    if (frame.destination.bit == frame.source.bit) {
        error = "C bits say neither command nor response";
        return false;
    }
    frame.command = frame.destination.bit;
    controlAt = at;
    return true;
}

bool decodeControl(std::string_view bytes, std::size_t at, int modulus, Frame& frame,
                   std::string& error) {
    const auto control = static_cast<unsigned char>(bytes[at]);
    const bool wide = modulus == 128 && (control & 3) != 3;
    if (wide && bytes.size() < at + 2) {
        error = "frame ends inside its control field";
        return false;
    }
    const auto second = wide ? static_cast<unsigned char>(bytes[at + 1]) : 0;
    std::size_t rest = at + (wide ? 2 : 1);
    frame.pollFinal = wide ? (second & 1) != 0 : (control & 0x10) != 0;
    frame.nr = wide ? second >> 1 : control >> 5;
    bool infoAllowed = false;
    if ((control & 1) == 0) {
        frame.kind = Kind::I;
        frame.ns = wide ? control >> 1 : (control >> 1) & 7;
        infoAllowed = true;
    } else if ((control & 3) == 1) {
        frame.kind = kSupervisory[(control >> 2) & 3].kind;
    } else {
        const int bits = control & ~0x10;
        bool known = false;
        for (const auto& entry : kUnnumbered)
            if (entry.bits == bits) {
                frame.kind = entry.kind;
                known = true;
            }
        if (!known) {
            error = "unknown control field";
            return false;
        }
        infoAllowed = frame.kind == Kind::UI || frame.kind == Kind::XID ||
                      frame.kind == Kind::TEST || frame.kind == Kind::FRMR;
    }
    if (frame.kind == Kind::I || frame.kind == Kind::UI) {
        if (bytes.size() <= rest) {
            error = std::string(kindName(frame.kind)) + " frame without a PID";
            return false;
        }
        frame.pid = static_cast<unsigned char>(bytes[rest++]);
    }
    if (!infoAllowed && bytes.size() > rest) {
        error = std::string(kindName(frame.kind)) + " frame with an information field";
        return false;
    }
    frame.info = std::string(bytes.substr(rest));
    return true;
}

std::string describe(const Frame& frame) {
    std::string out = frame.source.text() + ">" + frame.destination.text();
    for (const Address& digipeater : frame.digipeaters)
        out += "," + digipeater.text() + (digipeater.bit ? "*" : "");
    out += std::string(" ") + kindName(frame.kind) + (frame.command ? " cmd" : " res");
    if (frame.kind == Kind::I) out += " S" + std::to_string(frame.ns);
    if (frame.kind == Kind::I || bitsOf(kSupervisory, frame.kind))
        out += " R" + std::to_string(frame.nr);
    if (frame.pollFinal) out += frame.command ? " P" : " F";
    if (!frame.info.empty()) out += " " + std::to_string(frame.info.size()) + " bytes";
    return out;
}

} // namespace tncsim::ax25
