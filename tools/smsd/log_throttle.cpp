// Counting repeated log lines per kind and writing the counts as each period ends.
#include "log_throttle.h"

#include <QString>
#include <algorithm>

namespace smsd {

LogThrottle::LogThrottle(std::chrono::milliseconds period,
                         std::function<void(const std::string&)> log)
    : m_period(period), m_log(std::move(log)) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &LogThrottle::flush);
}

void LogThrottle::write(const std::string& kind, const std::string& line) {
    const Clock::time_point now = Clock::now();
    auto episode = m_episodes.find(kind);
    if (episode != m_episodes.end() && episode->second.end <= now) {
        // Its period is over but the timer has not run yet.
        flush();
        episode = m_episodes.find(kind);
    }
    if (episode != m_episodes.end()) {
        ++episode->second.suppressed;
        return;
    }
    // A new period ends after every other, so a running timer is already early enough.
    m_episodes.emplace(kind, Episode{now + m_period, 0});
    m_log(line);
    if (!m_timer.isActive()) m_timer.start(m_period);
}

void LogThrottle::flush() {
    const Clock::time_point now = Clock::now();
    const QString seconds = QString::number(double(m_period.count()) / 1000.0);
    for (auto at = m_episodes.begin(); at != m_episodes.end();) {
        Episode& episode = at->second;
        if (episode.end > now) {
            ++at;
            continue;
        }
        if (episode.suppressed == 0) {
            at = m_episodes.erase(at);
            continue;
        }
        m_log(at->first + ": " + std::to_string(episode.suppressed) + " more refused in the last " +
              seconds.toStdString() + " s");
        episode.suppressed = 0;
        episode.end = now + m_period;
        ++at;
    }
    if (m_episodes.empty()) return m_timer.stop();
    const auto next =
        std::min_element(m_episodes.begin(), m_episodes.end(), [](const auto& a, const auto& b) {
            return a.second.end < b.second.end;
        })->second.end;
    m_timer.start(std::chrono::ceil<std::chrono::milliseconds>(next - now));
}

} // namespace smsd
