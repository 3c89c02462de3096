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
    static constexpr std::size_t kShownLines = 1000;
    static constexpr std::size_t kRecentLines = 200;
    static constexpr std::size_t kAllLines = 1000;

    // A line of the list of all streams: its number (from 1, one more per line, never
    // reused) and its stream.
    struct Line {
        std::uint64_t seq;
        int index;
        std::string text;
    };

    // Keeps a line of stream `index` (1 to kMaxUsers); true when it joins the shown list.
    bool add(int index, const std::string& line);
    // The stream the shown list follows from now on; 0 for none.
    void setShownStream(int index) { m_shownStream = index; }
    int shownStream() const { return m_shownStream; }
    const std::deque<std::string>& shown() const { return m_shown; }
    // The stream's recent lines, oldest first; empty for an index outside the streams.
    const std::deque<std::string>& recent(int index) const;
    // Every stream's last kAllLines lines, oldest first.
    const std::deque<Line>& all() const { return m_all; }

  private:
    int m_shownStream = 0;
    std::deque<std::string> m_shown;
    std::deque<Line> m_all;
    std::uint64_t m_lastSeq = 0;
    std::array<std::deque<std::string>, kMaxUsers + 1> m_recent;
};

} // namespace gw
