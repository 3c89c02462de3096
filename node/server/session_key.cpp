// Session keys: drawn from the process-wide random source.
#include "server/session_key.h"

#include "common/text.h"
#include "server/random_source.h"

#include <cstdio>

namespace gw {

std::string newSessionKey(int streamIndex) {
    char index[8];
    std::snprintf(index, sizeof index, "%02d", streamIndex);
    return index + std::to_string(roundHalfEven(randomFractionDouble() * 10'000'000.0));
}

int sessionStream(const std::string& session) {
    return static_cast<int>(numericValue(session.substr(0, 2)));
}

} // namespace gw
