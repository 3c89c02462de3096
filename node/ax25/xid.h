// The information field of XID frames: the parameters a version 2.2 station offers when a link
// starts, and the answer that fixes them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace gw::ax25 {

struct XidParameters {
    bool modulo128 = false;
    bool selectiveReject = false;  // SREJ (single or multiple) offered, or agreed
    std::optional<int> infoLength; // most bytes in an I field the sender can take
    std::optional<int> window;     // most I frames the sender takes unacknowledged
};

// nullopt when the field is not an XID parameter group; parameters not understood are skipped.
std::optional<XidParameters> parseXid(std::string_view info);
std::string encodeXid(const XidParameters& parameters);

} // namespace gw::ax25
