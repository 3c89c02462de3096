// The Internet checksum of RFC 1071, as ICMP uses it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ping {

// Ones'-complement sum of the 16-bit words (an odd last byte padded with zero), complemented.
// The result is in network byte order as two bytes: store it with the high byte first.
uint16_t internetChecksum(const uint8_t* data, size_t length);

} // namespace ping
