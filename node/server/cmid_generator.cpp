// CMidGenerator: draws from the process-wide random source, which is seeded once, so two
// MIDs made in the same instant (two users in one polling tick) still differ.
#include "server/cmid_generator.h"

#include "common/text.h"
#include "server/random_source.h"

namespace gw {

CMidGenerator::CMidGenerator() {
    NewMid();
}

void CMidGenerator::Tag(const std::string& sNewTag) {
    m_tag = sNewTag;
    NewMid();
}

std::string CMidGenerator::NewMid() {
    std::string mid = m_tag;
    while (mid.size() < kMidLength) {
        // Rounding r * 36 and lifting everything below 36 by one keeps the old weighting:
        // "0" half as likely as the others, "Z" one and a half times.
        const float scaled = randomFraction() * 36.0f;
        long long n = roundHalfEven(scaled);
        if (n < 36) ++n;
        mid += kAlphabet[n - 1];
    }
    m_lastMid = mid;
    return mid;
}

} // namespace gw
