// The station: the links of every port, keyed by peer and port, and the identification timer.
#include "ax25/station.h"

namespace gw::ax25 {

class Station::Impl {
  public:
    Impl(StationConfig config, const Clock& clock, StationEvents events)
        : config(std::move(config)), clock(clock), events(std::move(events)) {}
    StationConfig config;
    const Clock& clock;
    StationEvents events;
};

Station::Station(StationConfig config, const Clock& clock, StationEvents events)
    : m_impl(std::make_unique<Impl>(std::move(config), clock, std::move(events))) {}
Station::~Station() = default;

void Station::receive(int, std::string_view) {}
void Station::tick() {}
std::optional<std::chrono::milliseconds> Station::nextDeadline() const {
    return std::nullopt;
}
bool Station::send(LinkId, std::string_view) {
    return false;
}
void Station::disconnect(LinkId) {}
void Station::disconnectAll() {}
bool Station::allDown() const {
    return true;
}
void Station::setBusy(LinkId, bool) {}
std::optional<LinkInfo> Station::info(LinkId) const {
    return std::nullopt;
}
std::vector<LinkInfo> Station::links() const {
    return {};
}
PortCounters Station::counters(int) const {
    return {};
}
const StationConfig& Station::config() const {
    return m_impl->config;
}

std::string_view toString(LinkState state) {
    switch (state) {
    case LinkState::Disconnected:
        return "disconnected";
    case LinkState::AwaitingConnection:
        return "connecting";
    case LinkState::Connected:
        return "connected";
    case LinkState::TimerRecovery:
        return "timer recovery";
    case LinkState::AwaitingRelease:
        return "disconnecting";
    }
    return "disconnected";
}

} // namespace gw::ax25
