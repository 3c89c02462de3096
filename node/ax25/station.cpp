// The station: the links of every port, found by port and peer; frames for no link and TEST;
// the identification beacon; and the one queue through which every frame and event leaves, raised
// only once the links are consistent so that any callback may call the station again.
#include "ax25/station.h"

#include "ax25/link.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>

namespace gw::ax25 {

namespace {
using Millis = std::chrono::milliseconds;
constexpr int kPorts = 16;
// However many callers the node accepts, the station holds no more links than this.
constexpr std::size_t kMaxLinks = 64;
constexpr std::size_t kMaxPaclen = 4096;
constexpr std::size_t kDefaultN1 = 256;
constexpr Millis kMinT1{100};
constexpr Millis kMinT3{1000};

StationConfig normalized(StationConfig config) {
    config.window = std::clamp(config.window, 1, 127);
    config.paclen = std::clamp<std::size_t>(config.paclen, 1, kMaxPaclen);
    config.retries = std::max(config.retries, 1);
    config.t1 = std::max(config.t1, kMinT1);
    config.t2 = std::max(config.t2, Millis{0});
    config.t3 = std::max(config.t3, kMinT3);
    return config;
}

struct PortState {
    PortCounters counters;
    std::optional<Millis> lastId;
    int links = 0;
};
} // namespace

class Station::Impl {
  public:
    Impl(StationConfig config, const Clock& clock, StationEvents events)
        : config(normalized(std::move(config))), clock(clock), events(std::move(events)),
          call(Address::parse(this->config.call)) {
        settings.window = this->config.window;
        settings.paclen = this->config.paclen;
        settings.maxReceive = std::max(this->config.paclen, kDefaultN1);
        settings.retries = this->config.retries;
        settings.t1 = this->config.t1;
        settings.t2 = this->config.t2;
        settings.t3 = this->config.t3;
        settings.maxQueued = this->config.maxQueued;
        settings.acceptModulo128 = this->config.acceptModulo128;
    }

    Link* find(LinkId id) {
        const auto it = links.find(id);
        return it == links.end() ? nullptr : it->second.get();
    }
    Link* find(int port, const Address& peer) {
        for (auto& entry : links)
            if (entry.second->port() == port && entry.second->peer().sameStation(peer))
                return entry.second.get();
        return nullptr;
    }

    void withoutLink(int port, const Frame& frame);
    void open(int port, const Frame& frame);
    void reply(int port, const Frame& to, FrameType type, std::string info = {});
    void forget(LinkId id);
    void flush();
    void transmitOn(int port, const std::string& frame);
    std::string identification() const;

    StationConfig config;
    const Clock& clock;
    StationEvents events;
    std::optional<Address> call;
    LinkSettings settings;
    std::map<LinkId, std::unique_ptr<Link>> links;
    std::array<PortState, kPorts> ports;
    LinkEvents queue;
    bool dispatching = false;
    LinkId nextId = 1;
};

void Station::Impl::withoutLink(int port, const Frame& frame) {
    const Control& c = frame.control;
    switch (c.type) {
    case FrameType::SABM:
    case FrameType::SABME:
        if (frame.command()) open(port, frame);
        break;
    case FrameType::DISC:
        reply(port, frame, FrameType::DM);
        break;
    case FrameType::TEST: // echoed only up to our N1: a caller gets no more airtime than that
        if (frame.command() && c.info.size() <= settings.maxReceive)
            reply(port, frame, FrameType::TEST, c.info);
        break;
    case FrameType::UI:
    case FrameType::DM:
    case FrameType::UA:
    case FrameType::FRMR:
        break;
    default:
        if (frame.command() && c.pollFinal) reply(port, frame, FrameType::DM);
        break;
    }
}

void Station::Impl::open(int port, const Frame& frame) {
    const bool modulo128 = frame.control.type == FrameType::SABME;
    if ((modulo128 && !config.acceptModulo128) || links.size() >= kMaxLinks)
        return reply(port, frame, FrameType::DM);
    const bool accepted = events.accept && events.accept(port, frame.source.text());
    // accept() may have let other frames in, this caller's among them.
    const auto now = clock.elapsed();
    if (Link* link = find(port, frame.source)) {
        link->receive(frame, now);
        return;
    }
    if (!accepted || links.size() >= kMaxLinks) return reply(port, frame, FrameType::DM);
    const LinkId id = nextId++;
    links.emplace(id, std::make_unique<Link>(id, port, *call, frame, settings, ports[port].counters,
                                             queue, now));
    ++ports[port].links;
}

void Station::Impl::reply(int port, const Frame& to, FrameType type, std::string info) {
    Frame frame;
    frame.destination = to.source;
    frame.destination.flag = false;
    frame.source = *call;
    frame.source.flag = true;
    for (auto it = to.digipeaters.rbegin(); it != to.digipeaters.rend(); ++it) {
        frame.digipeaters.push_back(*it);
        frame.digipeaters.back().flag = false;
    }
    frame.control.type = type;
    frame.control.pollFinal = to.control.pollFinal;
    frame.control.info = std::move(info);
    queue.push_back({LinkEvent::Kind::Transmit, 0, port, encodeFrame(frame, false)});
}

void Station::Impl::forget(LinkId id) {
    const auto it = links.find(id);
    if (it == links.end() || !it->second->finished()) return;
    const int port = it->second->port();
    links.erase(it);
    // Identified once more when the port's last link ends.
    if (--ports[port].links == 0 && config.idInterval.count() > 0) {
        ports[port].lastId = clock.elapsed();
        queue.push_back({LinkEvent::Kind::Transmit, 0, port, identification()});
    }
}

void Station::Impl::flush() {
    if (dispatching) return; // the outer flush raises what callbacks add
    dispatching = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{dispatching};
    while (!queue.empty()) {
        const LinkEvent event = std::move(queue.front());
        queue.pop_front();
        switch (event.kind) {
        case LinkEvent::Kind::Transmit:
            transmitOn(event.port, event.data);
            break;
        case LinkEvent::Kind::Connected:
            if (events.connected) events.connected(event.id);
            break;
        case LinkEvent::Kind::Received:
            if (events.received) events.received(event.id, event.data);
            break;
        case LinkEvent::Kind::Ended:
            if (events.ended) events.ended(event.id, event.reason, event.data);
            break;
        }
    }
}

void Station::Impl::transmitOn(int port, const std::string& frame) {
    PortState& state = ports[port];
    ++state.counters.framesOut;
    if (events.transmit) events.transmit(port, frame);
    const auto now = clock.elapsed();
    if (config.idInterval.count() > 0 &&
        (!state.lastId || now - *state.lastId >= config.idInterval)) {
        state.lastId = now;
        ++state.counters.framesOut;
        if (events.transmit) events.transmit(port, identification());
    }
}

std::string Station::Impl::identification() const {
    Frame frame;
    frame.destination = Address{"ID", 0, true};
    frame.source = *call;
    frame.source.flag = false;
    frame.control.type = FrameType::UI;
    frame.control.info = call->text();
    return encodeFrame(frame, false);
}

Station::Station(StationConfig config, const Clock& clock, StationEvents events)
    : m_impl(std::make_unique<Impl>(std::move(config), clock, std::move(events))) {}
Station::~Station() = default;

void Station::receive(int port, std::string_view bytes) {
    Impl& d = *m_impl;
    if (port < 0 || port >= kPorts) return;
    ++d.ports[port].counters.framesIn;
    std::size_t length = 0;
    auto frame = decodeAddresses(bytes, length);
    if (!d.call || !frame || length == bytes.size()) return;
    if (!frame->destination.sameStation(*d.call) || frame->source.sameStation(*d.call)) return;
    if (std::any_of(frame->digipeaters.begin(), frame->digipeaters.end(),
                    [](const Address& digipeater) { return !digipeater.flag; }))
        return; // still on its way through a digipeater
    const auto now = d.clock.elapsed();
    Link* link = d.find(port, frame->source);
    auto control = decodeControl(bytes.substr(length), link && link->modulo128());
    if (link && !(control && control->type == FrameType::TEST)) {
        const LinkId id = link->id();
        if (control) {
            frame->control = std::move(*control);
            link->receive(*frame, now);
        } else {
            link->refuse(bytes.substr(length), frame->command(), now);
        }
        d.forget(id);
    } else if (control) {
        frame->control = std::move(*control);
        d.withoutLink(port, *frame);
    }
    d.flush();
}

void Station::tick() {
    Impl& d = *m_impl;
    const auto now = d.clock.elapsed();
    std::vector<LinkId> ids;
    for (const auto& entry : d.links)
        ids.push_back(entry.first);
    for (const LinkId id : ids) {
        if (Link* link = d.find(id)) {
            link->tick(now);
            d.forget(id);
        }
    }
    d.flush();
}

std::optional<std::chrono::milliseconds> Station::nextDeadline() const {
    const auto now = m_impl->clock.elapsed();
    std::optional<Millis> next;
    for (const auto& entry : m_impl->links) {
        const auto due = entry.second->nextDeadline(now);
        if (due && (!next || *due < *next)) next = due;
    }
    if (!next) return std::nullopt;
    return std::max(*next - now, Millis{0});
}

bool Station::send(LinkId id, std::string_view data) {
    Link* link = m_impl->find(id);
    return link && link->send(data);
}

void Station::disconnect(LinkId id) {
    if (Link* link = m_impl->find(id)) {
        link->release(m_impl->clock.elapsed());
        m_impl->forget(id);
    }
    m_impl->flush();
}

void Station::disconnectAll() {
    std::vector<LinkId> ids;
    for (const auto& entry : m_impl->links)
        ids.push_back(entry.first);
    for (const LinkId id : ids) {
        if (Link* link = m_impl->find(id)) {
            link->release(m_impl->clock.elapsed());
            m_impl->forget(id);
        }
    }
    m_impl->flush();
}

bool Station::allDown() const {
    return m_impl->links.empty();
}

void Station::setBusy(LinkId id, bool busy) {
    if (Link* link = m_impl->find(id)) link->setBusy(busy);
    m_impl->flush();
}

std::optional<LinkInfo> Station::info(LinkId id) const {
    const auto it = m_impl->links.find(id);
    if (it == m_impl->links.end()) return std::nullopt;
    return it->second->info();
}

std::vector<LinkInfo> Station::links() const {
    std::vector<LinkInfo> all;
    for (const auto& entry : m_impl->links)
        all.push_back(entry.second->info());
    return all;
}

PortCounters Station::counters(int port) const {
    if (port < 0 || port >= kPorts) return {};
    return m_impl->ports[port].counters;
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
