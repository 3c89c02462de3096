// How a waiting request lets the host's events run: one step dispatches what is pending or
// blocks until an event or the limit, so a wait never spins.
#pragma once

#include <chrono>
#include <vector>

class QEventLoop;

namespace ping {

class EventPump {
  public:
    virtual ~EventPump() = default;
    // Runs the thread's events for up to `limit`; false when the application is quitting.
    virtual bool step(std::chrono::milliseconds limit) = 0;
    // Ends the steps in progress early: what they waited for has happened.
    virtual void wake() = 0;
    // Dispatches what is pending and returns; only when nothing is pending waits up to `limit`
    // for the next event and dispatches it.
    virtual void dispatchPending(std::chrono::milliseconds limit) { step(limit); }
};

// Runs the Qt event loop of the calling thread; needs a QCoreApplication.
class QtEventPump : public EventPump {
  public:
    bool step(std::chrono::milliseconds limit) override;
    void wake() override;
    void dispatchPending(std::chrono::milliseconds limit) override;

  private:
    struct Frame {
        QEventLoop* loop;
        bool ended;
    };
    std::vector<Frame*> m_frames;
};

} // namespace ping
