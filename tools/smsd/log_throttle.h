// Log lines that a client can make smsd repeat at will (refusals): the first of each kind is
// written whole, the rest within a period are counted and written as one line when it ends.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <map>
#include <string>

namespace smsd {

class LogThrottle : public QObject {
  public:
    using Clock = std::chrono::steady_clock;

    LogThrottle(std::chrono::milliseconds period, std::function<void(const std::string&)> log);

    // Writes `line` when no line of `kind` was written in the current period; counts it
    // otherwise. A period with nothing counted ends the episode: the next line is written whole.
    void write(const std::string& kind, const std::string& line);

  private:
    struct Episode {
        Clock::time_point end;
        std::size_t suppressed = 0;
    };

    // Writes the counts of the periods that are over and arms the timer for the next one.
    void flush();

    std::chrono::milliseconds m_period;
    std::function<void(const std::string&)> m_log;
    std::map<std::string, Episode> m_episodes;
    QTimer m_timer;
};

} // namespace smsd
