// The monitor's bounded line lists.
#include "core/monitor.h"

namespace gw {
namespace {
void keep(std::deque<std::string>& lines, const std::string& line, std::size_t bound) {
    lines.push_back(line);
    if (lines.size() > bound) lines.pop_front();
}
} // namespace

bool Monitor::add(int index, const std::string& line) {
    if (index < 1 || index > kMaxUsers) return false;
    keep(m_recent[static_cast<std::size_t>(index)], line, kRecentLines);
    m_all.push_back({++m_lastSeq, index, line});
    if (m_all.size() > kAllLines) m_all.pop_front();
    if (index != m_followedStream) return false;
    keep(m_followed, line, kFollowedLines);
    return true;
}

const std::deque<std::string>& Monitor::recent(int index) const {
    return m_recent[index >= 1 && index <= kMaxUsers ? static_cast<std::size_t>(index) : 0];
}

} // namespace gw
