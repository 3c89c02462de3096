// AX.25 frames as tncsim's simulated stations send and check them: addresses (call, SSID, the
// C or H bit), control fields modulo 8 and 128, PID and information. Written for the simulator
// alone, so that it judges the node's link layer without sharing its mistakes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tncsim::ax25 {

struct Address {
    std::string call; // 1-6 upper-case letters and digits
    int ssid = 0;
    bool bit = false;         // H ("has been repeated") in a digipeater's address
    std::string text() const; // "N1USER-7"
    bool sameStation(const Address& other) const {
        return call == other.call && ssid == other.ssid;
    }
};
// "N1USER" or "N1USER-7"; nothing when it is no call sign.
std::optional<Address> parseAddress(const std::string& text);

enum class Kind { I, RR, RNR, REJ, SREJ, SABM, SABME, DISC, UA, DM, FRMR, UI, XID, TEST };
const char* kindName(Kind kind);

struct Frame {
    Address destination;
    Address source;
    std::vector<Address> digipeaters;
    Kind kind = Kind::UI;
    bool command = true; // C = 1 in the destination and 0 in the source; a response the reverse
    bool pollFinal = false;
    int ns = 0;
    int nr = 0;
    int pid = 0xF0; // I and UI only
    std::string info;
};

std::string encode(const Frame& frame, int modulus);
// Addresses first: which station a frame is for decides the modulus of its control field.
// Both return false with the reason when the frame is malformed.
bool decodeAddresses(std::string_view bytes, Frame& frame, std::size_t& controlAt,
                     std::string& error);
bool decodeControl(std::string_view bytes, std::size_t at, int modulus, Frame& frame,
                   std::string& error);
// One line for a trace: "N1USER>N0CALL,DIGI1* I cmd S0 R1 P 12 bytes".
std::string describe(const Frame& frame);

} // namespace tncsim::ax25
