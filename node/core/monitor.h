// The monitor: every stream's recent lines, and the list the operator follows (the lines of
// whichever stream was chosen when they came). Both are bounded.
#pragma once

#include "common/user_limit.h"

#include <array>
#include <cstddef>
#include <deque>
#include <string>

namespace gw {

class Monitor {
  public:
    static constexpr std::size_t kShownLines = 1000;
    static constexpr std::size_t kRecentLines = 200;

    // Keeps a line of stream `index` (1 to kMaxUsers); true when it joins the shown list.
    bool add(int index, const std::string& line);
    // The stream the shown list follows from now on; 0 for none.
    void setShownStream(int index) { m_shownStream = index; }
    int shownStream() const { return m_shownStream; }
    const std::deque<std::string>& shown() const { return m_shown; }
    // The stream's recent lines, oldest first; empty for an index outside the streams.
    const std::deque<std::string>& recent(int index) const;

  private:
    int m_shownStream = 0;
    std::deque<std::string> m_shown;
    std::array<std::deque<std::string>, kMaxUsers + 1> m_recent;
};

} // namespace gw
