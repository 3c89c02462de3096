// Start-up rules for one of the ten instances: the instance text from the command line and
// the lock that the system holds for a running instance, which alone decides whether a copy
// runs (the heartbeat in the settings is written for whoever reads it, and refuses nothing).
#pragma once

#include <string>

namespace gw {

// The instance text: the command line as typed, "1" when empty.
std::string instanceText(const std::string& commandLine);

// Numeric and from 1 to 10 inclusive; the text itself ("03") names the settings section.
bool instanceValid(const std::string& sInstance);

// An exclusive flock on the instance's lock file, held until the object ends (and so for the
// life of the process): two copies started at the same moment cannot both hold it, and the
// system frees it whatever way the process ends.
class InstanceLock {
  public:
    enum class State { Held, Busy, Failed };
    explicit InstanceLock(const std::string& path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return m_state; }
    // Why the lock file could not be opened (state Failed).
    const std::string& problem() const { return m_problem; }

  private:
    int m_fd = -1;
    State m_state = State::Failed;
    std::string m_problem;
};

// The lock file of an instance: beside the settings file.
std::string instanceLockPath(const std::string& settingsFile, const std::string& sInstance);

} // namespace gw
