// The steady tick count.
#include "ping/clock.h"

#include <chrono>

namespace ping {

uint32_t SteadyClock::tickCount() const {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace ping
