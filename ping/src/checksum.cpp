// The Internet checksum of RFC 1071.
#include "ping/checksum.h"

namespace ping {

uint16_t internetChecksum(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2)
        sum += uint32_t(data[i]) << 8 | data[i + 1];
    if (length % 2) sum += uint32_t(data[length - 1]) << 8;
    // Two folds are enough for any message shorter than 128 KiB.
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum = (sum >> 16) + (sum & 0xFFFF);
    return static_cast<uint16_t>(~sum);
}

} // namespace ping
