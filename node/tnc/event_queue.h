// Events a driver has cut from the line but not yet raised, in arrival order. A handler may
// read the port again while one is raised: what that adds is raised by the outer call after
// the current event, instead of overtaking it or being seen a second time.
#pragma once

#include <deque>
#include <utility>

namespace gw {

template <typename Event> class EventQueue {
  public:
    void push(Event event) { m_events.push_back(std::move(event)); }

    // Hands each queued event to `raise`, oldest first; called again from inside `raise`, it
    // returns at once and the outer call goes on with what was added.
    template <typename Raise> void raiseAll(Raise&& raise) {
        if (m_raising) return;
        m_raising = true;
        struct Done {
            bool& raising;
            ~Done() { raising = false; }
        } done{m_raising};
        while (!m_events.empty()) {
            const Event event = std::move(m_events.front());
            m_events.pop_front();
            raise(event);
        }
    }

  private:
    std::deque<Event> m_events;
    bool m_raising = false;
};

} // namespace gw
