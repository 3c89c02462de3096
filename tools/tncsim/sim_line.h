// The simulator's end of the serial line: a pseudo-terminal master, with answers that can be
// delayed, paced to a line speed, salted with garbage or with noise that looks like framing,
// or never sent (a TNC switched off).
#pragma once

#include <chrono>
#include <deque>
#include <random>
#include <string>
#include <string_view>

namespace tncsim {

using Clock = std::chrono::steady_clock;

class SimLine {
  public:
    struct Behaviour {
        int speed = 0;                      // line speed in bit/s; 0 sends at once
        std::chrono::milliseconds delay{0}; // every answer waits this long
        int garbage = 0;                    // noise bytes put before every answer
        bool off = false;                   // nothing is ever answered
        int noise = 0; // bytes of FEND, FESC, CR, LF, "*" and the like before every answer
    };

    explicit SimLine(Behaviour behaviour);
    ~SimLine();
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    bool open();
    const std::string& slaveName() const { return m_slaveName; }
    int masterFd() const { return m_master; }

    // Queues an answer to the host.
    void send(std::string_view text);
    // Reads what the host wrote; false once the line is gone for good.
    bool receive(std::string& out);
    // Writes what is due; returns how long until more is due (or a long wait when idle).
    std::chrono::milliseconds flush();

  private:
    Behaviour m_behaviour;
    int m_master = -1;
    int m_slave = -1; // held open so that the master never reads as hung up
    std::string m_slaveName;
    std::deque<std::pair<Clock::time_point, std::string>> m_out;
    Clock::time_point m_nextByte{};
    std::mt19937 m_random{4711};
};

} // namespace tncsim
