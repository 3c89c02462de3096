// The monitor: every stream's recent lines, every stream's lines together in arrival order
// (numbered, for views that ask for what is new), and the list the operator follows (the
// lines of whichever stream was chosen when they came). All are bounded.
#pragma once

#include "common/user_limit.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace gw {

class Monitor {
  public:
    static constexpr std::size_t kFollowedLines = 1000;
    static constexpr std::size_t kRecentLines = 200;
    static constexpr std::size_t kAllLines = 1000;

    // A line of the list of all streams: its number (from 1, one more per line, never
    // reused) and its stream.
    struct Line {
        std::uint64_t seq;
        int index;
        std::string text;
    };

    // Keeps a line of stream `index` (1 to kMaxUsers); true when it joins the followed list.
    bool add(int index, const std::string& line);
    // The stream the followed list follows from now on; 0 for none.
    void follow(int index) { m_followedStream = index; }
    int followedStream() const { return m_followedStream; }
    const std::deque<std::string>& followed() const { return m_followed; }
    // The stream's recent lines, oldest first; empty for an index outside the streams.
    const std::deque<std::string>& recent(int index) const;
    // Every stream's last kAllLines lines, oldest first.
    const std::deque<Line>& all() const { return m_all; }

  private:
    int m_followedStream = 0;
    std::deque<std::string> m_followed;
    std::deque<Line> m_all;
    std::uint64_t m_lastSeq = 0;
    std::array<std::deque<std::string>, kMaxUsers + 1> m_recent;
};

} // namespace gw
