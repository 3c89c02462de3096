// The millisecond tick count the engine measures deadlines and response times with.
#pragma once

#include <cstdint>

namespace ping {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, wrapping at 2^32 like the platform's tick count.
    virtual uint32_t tickCount() const = 0;
};

class SteadyClock : public Clock {
  public:
    uint32_t tickCount() const override;
};

// True once `now` has passed `deadline`, across a wrap of the counter.
inline bool tickPassed(uint32_t now, uint32_t deadline) {
    return static_cast<int32_t>(now - deadline) > 0;
}

} // namespace ping
