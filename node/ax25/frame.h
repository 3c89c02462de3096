// AX.25 frames as the link layer reads and writes them (no flags, no FCS: the KISS TNC owns
// those): the address field, the control field modulo 8 or 128, the PID and the information.
#pragma once

#include "ax25/address.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gw::ax25 {

enum class FrameType { I, RR, RNR, REJ, SREJ, SABM, SABME, DISC, DM, UA, FRMR, UI, XID, TEST };

inline constexpr std::uint8_t kPidText = 0xF0;
// A segment of data longer than N1 (version 2.2): a byte with bit 7 set on the first segment and
// the count of segments still to come, then (first segment only) the data's own PID.
inline constexpr std::uint8_t kPidSegment = 0x08;
inline constexpr std::size_t kMaxDigipeaters = 8;

struct Control {
    FrameType type = FrameType::UI;
    bool pollFinal = false;
    int ns = 0;                  // N(S), I frames
    int nr = 0;                  // N(R), I and S frames
    std::uint8_t pid = kPidText; // I and UI frames
    std::string info;            // I, UI, XID, TEST and FRMR frames
};

struct Frame {
    Address destination;
    Address source;
    std::vector<Address> digipeaters; // in the order the frame passes them; flag = repeated
    Control control;

    // The C bits: destination 1 and source 0 is a command, the reverse a response; the two
    // equal (an AX.25 version 1 station) count as a command.
    bool command() const { return destination.flag || !source.flag; }
};

// The address field alone, with the length it takes: the station reads it first, to find the
// link whose modulo tells how to read the control field.
std::optional<Frame> decodeAddresses(std::string_view bytes, std::size_t& length);
// The control field and what follows it; nullopt for a control field that is undefined, too
// short, or carries an information field its type does not allow.
std::optional<Control> decodeControl(std::string_view bytes, bool modulo128);
std::optional<Frame> decodeFrame(std::string_view bytes, bool modulo128);

std::string encodeFrame(const Frame& frame, bool modulo128);

} // namespace gw::ax25
