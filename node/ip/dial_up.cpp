// The dial-up layer's shared part: the action property and event delivery.
#include "ip/dial_up.h"

#include "common/node_error.h"

namespace gw {

void DialUp::setAction(std::int16_t action) {
    if (action == kEnumerate)
        enumerate();
    else if (action == kAbandon)
        abandon();
    else
        throw NodeError(380, "DialUp", "Invalid property value");
}

void DialUp::raiseEntry(const std::string& name) {
    if (m_events.entry) m_events.entry(name);
}

void DialUp::raiseStatus(long state, long error) {
    if (m_events.status) m_events.status(state, error);
}

} // namespace gw
