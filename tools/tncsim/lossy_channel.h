// One direction of the radio channel between the KISS modem and the simulated stations: a
// chosen share of frames lost, sent twice, or held back (so that later ones overtake them).
// A seeded generator decides, three draws a frame, so a seed gives the same frames the same fate.
#pragma once

#include "sim_line.h"

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace tncsim {

struct ChannelOptions {
    // Shares in hundredths of a percent.
    int drop = 0;
    int duplicate = 0;
    int delay = 0;
    int delayMs = 500;
    std::uint32_t seed = 1;
};

class LossyChannel {
  public:
    struct Frame {
        int port = 0; // KISS port
        std::string bytes;
    };
    struct Fate {
        bool dropped = false;
        bool duplicated = false;
        bool delayed = false;
    };
    // `direction` keeps the two directions' draws apart.
    LossyChannel(const ChannelOptions& options, std::uint32_t direction);

    Fate send(Frame frame, Clock::time_point now);
    // The frames due by `now`, in the order they arrive.
    std::vector<Frame> arrived(Clock::time_point now);
    std::optional<Clock::time_point> nextArrival() const;

  private:
    bool draw(int share);

    ChannelOptions m_options;
    std::mt19937 m_random;
    std::multimap<Clock::time_point, Frame> m_queue;
};

} // namespace tncsim
