// The dial-up layer the setup window dials through: choose a phone-book entry, dial it,
// abandon or hang up, and hear about entries and link states by events.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace gw {

class DialUp {
  public:
    // Link states as the remote-access service numbers them; the node acts on these two.
    static constexpr long kAuthenticated = 14;
    static constexpr long kDisconnected = 8193;
    // Values of the action property.
    static constexpr std::int16_t kAbandon = 0;
    static constexpr std::int16_t kEnumerate = 3;

    struct Events {
        std::function<void(const std::string& name)> entry;
        std::function<void(long state, long error)> status;
    };

    virtual ~DialUp() = default;
    void setEvents(Events events) { m_events = std::move(events); }

    // kEnumerate reports every phone-book entry through the entry event before it returns;
    // kAbandon ends the dial in progress. Other values raise NodeError 380.
    void setAction(std::int16_t action);
    // The entry the next dial dials.
    virtual void setEntry(const std::string& name) = 0;
    virtual std::string entry() const = 0;
    // Dials the chosen entry and returns when the attempt has ended (up, failed or
    // abandoned); events keep flowing meanwhile. Raises NodeError when it cannot start.
    virtual void dial() = 0;
    // Drops the link; the status event then reports it disconnected.
    virtual void hangUp() = 0;

  protected:
    virtual void enumerate() = 0;
    virtual void abandon() = 0;
    void raiseEntry(const std::string& name);
    void raiseStatus(long state, long error);

  private:
    Events m_events;
};

} // namespace gw
