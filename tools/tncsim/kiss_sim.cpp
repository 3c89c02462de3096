// The simulated KISS modem and its radio side.
#include "kiss_sim.h"
#include "loopback_listener.h"
#include "radio_users.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace tncsim {
namespace {
// An AX.25 frame with eight digipeaters and a 256-byte I field is 330 bytes.
constexpr std::size_t kMaxKissPayload = 2048;
// What the TCP client may leave unread before frames for it are thrown away.
constexpr std::size_t kMaxUnread = 1 << 20;
constexpr int kMaxFlooders = 10'000;

std::string hexBytes(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(c));
        out += (out.empty() ? "" : " ") + std::string(hex);
    }
    return out;
}

std::string pathText(const std::vector<ax25::Address>& path) {
    std::string out;
    for (const auto& address : path)
        out += (out.empty() ? "" : ",") + address.text() + (address.bit ? "*" : "");
    return out.empty() ? "(direct)" : out;
}

// "N1USER" or "N1USER via DIGI1,DIGI2".
bool parseCaller(const std::string& text, ax25::Address& caller, std::vector<ax25::Address>& path,
                 std::string& error) {
    std::istringstream words(text);
    std::string call, via, list;
    words >> call >> via;
    std::getline(words, list);
    const auto address = ax25::parseAddress(call);
    if (!address) {
        error = "\"" + call + "\" is no call sign";
        return false;
    }
    caller = *address;
    if (via.empty()) return true;
    if (via != "via") {
        error = "after the call, \"via DIGI1,DIGI2\" was expected";
        return false;
    }
    std::istringstream digipeaters(list);
    for (std::string name; std::getline(digipeaters, name, ',');) {
        name.erase(0, name.find_first_not_of(' '));
        name.erase(name.find_last_not_of(' ') + 1);
        const auto digipeater = ax25::parseAddress(name);
        if (!digipeater) {
            error = "\"" + name + "\" is no digipeater call";
            return false;
        }
        path.push_back(*digipeater);
    }
    if (path.empty() || path.size() > 8) {
        error = "a path has 1 to 8 digipeaters";
        return false;
    }
    return true;
}
} // namespace

KissSim::KissSim(SimLine* line, KissSimOptions options)
    : m_line(line), m_options(std::move(options)),
      m_node(ax25::parseAddress(m_options.nodeCall).value_or(ax25::Address{"N0CALL", 0, false})),
      m_decoder(kMaxKissPayload), m_toUsers(m_options.channel, 0), m_toNode(m_options.channel, 1),
      m_garbage(m_options.channel.seed) {}

KissSim::~KissSim() {
    if (m_client >= 0) ::close(m_client);
    if (m_listen >= 0) ::close(m_listen);
}

bool KissSim::listen() {
    m_tcpPort = std::max(0, m_options.tcpPort);
    m_listen = listenOnLoopback(m_tcpPort);
    return m_listen >= 0;
}

void KissSim::trace(const std::string& line) const {
    if (m_options.trace && log) log("trace " + line);
}

void KissSim::fate(const LossyChannel::Fate& fate, const std::string& what) const {
    if (fate.dropped) trace("channel drops " + what);
    if (fate.duplicated) trace("channel repeats " + what);
    if (fate.delayed) trace("channel holds back " + what);
}

UserLink* KissSim::link(int port, char stream) {
    const auto it = m_links.find(std::to_string(port) + stream);
    return it == m_links.end() ? nullptr : it->second.get();
}

// The node's side.

void KissSim::fromHost(std::string_view bytes) {
    std::vector<KissDecoder::Frame> frames;
    std::vector<std::string> problems;
    m_decoder.feed(bytes, frames, problems);
    for (const std::string& problem : problems)
        if (fault) fault("KISS " + problem);
    for (const auto& frame : frames)
        kissFrame(frame);
    arrivals(Clock::now());
}

void KissSim::kissFrame(const KissDecoder::Frame& frame) {
    if (frame.type == 0xFF) {
        if (log) log("kiss leave KISS mode");
        return;
    }
    m_working = true;
    const int port = frame.type >> 4;
    const int command = frame.type & 0x0F;
    if (command != 0) {
        parameter(port, command, frame.payload);
    } else if (port > 1) {
        if (fault)
            fault("data frame for KISS port " + std::to_string(port) + ", which is not here");
    } else {
        if (m_options.echoOwn) toHost(tncsim::kissFrame(port, 0, frame.payload));
        fromNode(port, frame.payload);
    }
}

void KissSim::parameter(int port, int command, const std::string& value) {
    static constexpr std::array<const char*, 7> names{"",       "TXDELAY", "PERSIST", "SLOTTIME",
                                                      "TXTAIL", "FULLDUP", "SETHW"};
    if (command >= static_cast<int>(names.size())) {
        if (fault) fault("unknown KISS command " + std::to_string(command));
        return;
    }
    const std::string name = names[static_cast<std::size_t>(command)];
    if (name != "SETHW" && value.size() != 1) {
        if (fault) fault("KISS " + name + " with " + std::to_string(value.size()) + " bytes");
        return;
    }
    const std::string shown =
        name == "SETHW" ? hexBytes(value) : std::to_string(static_cast<unsigned char>(value[0]));
    if (log) log("kiss param " + name + " " + shown + " port " + std::to_string(port));
}

void KissSim::fromNode(int port, const std::string& bytes) {
    ax25::Frame frame;
    std::size_t controlAt = 0;
    std::string error;
    if (ax25::decodeAddresses(bytes, frame, controlAt, error)) {
        int modulus = 8;
        for (const auto& [key, user] : m_links)
            if (key[0] - '1' == port && user->self().sameStation(frame.destination))
                modulus = user->modulus();
        if (ax25::decodeControl(bytes, controlAt, modulus, frame, error)) {
            trace("node> " + ax25::describe(frame));
            fate(m_toUsers.send({port, bytes}, Clock::now()), "node> " + ax25::describe(frame));
            return;
        }
    }
    if (fault) fault("frame from the node: " + error + " (" + hexBytes(bytes.substr(0, 40)) + ")");
}

// A frame of the node's, through the channel: whoever it is for hears it, if it came their way.
void KissSim::heard(const LossyChannel::Frame& arrived) {
    ax25::Frame frame;
    std::size_t controlAt = 0;
    std::string error;
    if (!ax25::decodeAddresses(arrived.bytes, frame, controlAt, error)) return;
    UserLink* user = nullptr;
    std::string who;
    for (const auto& [key, candidate] : m_links)
        if (key[0] - '1' == arrived.port && candidate->self().sameStation(frame.destination)) {
            user = candidate.get();
            who = key;
        }
    if (!ax25::decodeControl(arrived.bytes, controlAt, user ? user->modulus() : 8, frame, error))
        return;
    if (frame.kind == ax25::Kind::UI) {
        if (log)
            log("kiss UI " + frame.source.text() + ">" + frame.destination.text() + ": " +
                RadioUsers::visible(frame.info));
        return;
    }
    const auto flooder = m_flooders.find(frame.destination.text());
    if (flooder != m_flooders.end() && flooder->second.port == arrived.port) {
        if (!flooder->second.answered && log)
            log("flood " + flooder->first + " " + ax25::kindName(frame.kind));
        flooder->second.answered = true;
        return;
    }
    if (user == nullptr) {
        trace("nobody here is " + frame.destination.text());
        return;
    }
    // The way back is the way in, reversed, and nobody has repeated the node's frame yet.
    const std::vector<ax25::Address> expected(user->path().rbegin(), user->path().rend());
    bool rightPath = frame.digipeaters.size() == expected.size();
    for (std::size_t i = 0; rightPath && i < expected.size(); ++i)
        rightPath = frame.digipeaters[i].sameStation(expected[i]) && !frame.digipeaters[i].bit;
    if (!rightPath) {
        if (fault)
            fault(who + ": the node's frame came by " + pathText(frame.digipeaters) + ", not " +
                  pathText(expected));
        return;
    }
    if (!frame.source.sameStation(m_node)) {
        if (fault) fault(who + ": a frame from " + frame.source.text() + ", not the node");
        return;
    }
    user->receive(frame, Clock::now());
}

// A station's frame onto the channel; the digipeaters on its path repeat it.
void KissSim::toNode(int port, ax25::Frame frame, int modulus) {
    for (auto& digipeater : frame.digipeaters)
        digipeater.bit = true;
    const std::string text = "node< " + ax25::describe(frame);
    trace(text);
    const auto now = Clock::now();
    fate(m_toNode.send({port - 1, ax25::encode(frame, modulus)}, now), text);
    for (const auto& arrived : m_toNode.arrived(now))
        toHost(tncsim::kissFrame(arrived.port, 0, arrived.bytes));
}

void KissSim::arrivals(Clock::time_point now) {
    for (const auto& arrived : m_toNode.arrived(now))
        toHost(tncsim::kissFrame(arrived.port, 0, arrived.bytes));
    for (const auto& arrived : m_toUsers.arrived(now))
        heard(arrived);
}

void KissSim::toHost(const std::string& bytes) {
    if (m_line != nullptr) {
        m_line->send(bytes);
        return;
    }
    if (m_client < 0) {
        trace("no KISS client: a frame is lost");
        return;
    }
    if (m_out.size() + bytes.size() > kMaxUnread) {
        if (log) log("kiss client reads nothing: a frame is lost");
        return;
    }
    m_out += bytes;
    writeClient();
}

// The radio side.

void KissSim::userConnect(int port, char stream, const std::string& call) {
    ax25::Address caller;
    std::vector<ax25::Address> path;
    std::string error;
    const std::string key = std::to_string(port) + stream;
    if (!parseCaller(call, caller, path, error)) {
        if (log) log(key + " cannot call: " + error);
        return;
    }
    auto& slot = m_links[key];
    if (slot && slot->linked()) {
        if (log) log(key + " is linked already");
        return;
    }
    UserLink::Hooks hooks;
    hooks.transmit = [this, port](const ax25::Frame& frame, int modulus) {
        toNode(port, frame, modulus);
    };
    hooks.received = [this, port, stream](const std::string& data) {
        if (toUser) toUser(port, stream, data);
    };
    hooks.note = [this, port, stream](const std::string& line) {
        if (linkNote) linkNote(port, stream, line);
    };
    hooks.disconnectedByNode = [this, port, stream] {
        if (droppedByNode) droppedByNode(port, stream);
    };
    hooks.fault = [this, key](const std::string& what) {
        if (fault) fault(key + ": " + what);
    };
    slot = std::make_unique<UserLink>(caller, m_node, path, m_options.link, std::move(hooks));
    slot->connect(Clock::now());
}

void KissSim::userData(int port, char stream, const std::string& text) {
    if (UserLink* user = link(port, stream)) user->send(text, Clock::now());
}

void KissSim::userDisconnect(int port, char stream) {
    if (UserLink* user = link(port, stream)) user->disconnect(Clock::now());
}

void KissSim::userSpecial(int port, char stream, Special special, const std::string& argument) {
    UserLink* user = link(port, stream);
    switch (special) {
    case Special::Vanish:
        if (user) user->vanish();
        break;
    case Special::NeverAck:
        if (user) user->stopAcknowledging();
        break;
    case Special::Raw:
        toHost(argument);
        break;
    case Special::Garbage: {
        // Any byte but FEND: an endless frame, or endless noise before the first one.
        std::string bytes(static_cast<std::size_t>(std::stoi(argument)), '\0');
        for (char& c : bytes) {
            const auto value = m_garbage() % 255;
            c = static_cast<char>(value >= 0xC0 ? value + 1 : value);
        }
        toHost(bytes);
        break;
    }
    case Special::Flood:
        flood(port, std::stoi(argument));
        break;
    }
}

void KissSim::flood(int port, int count) {
    for (int i = 0; i < count && static_cast<int>(m_flooders.size()) < kMaxFlooders; ++i) {
        char call[8];
        std::snprintf(call, sizeof call, "FL%04d", static_cast<int>(m_flooders.size()));
        m_flooders[call] = {port - 1, false};
        ax25::Frame frame;
        frame.destination = m_node;
        frame.source = {call, 0, false};
        frame.kind = ax25::Kind::SABM;
        frame.pollFinal = true;
        toNode(port, frame, 8);
    }
}

bool KissSim::idle() const {
    for (const auto& [key, user] : m_links)
        if (!user->settled()) return false;
    return !m_toUsers.nextArrival() && !m_toNode.nextArrival() && m_out.empty();
}

// The loop's side.

std::chrono::milliseconds KissSim::service() {
    const auto now = Clock::now();
    arrivals(now);
    for (const auto& [key, user] : m_links)
        user->service(now);
    auto next = now + std::chrono::milliseconds(1000);
    for (const auto& [key, user] : m_links)
        if (const auto due = user->nextDue()) next = std::min(next, *due);
    if (const auto due = m_toUsers.nextArrival()) next = std::min(next, *due);
    if (const auto due = m_toNode.nextArrival()) next = std::min(next, *due);
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()));
}

void KissSim::addPollFds(std::vector<pollfd>& fds) const {
    if (m_listen >= 0) fds.push_back({m_listen, POLLIN, 0});
    if (m_client >= 0)
        fds.push_back({m_client, static_cast<short>(POLLIN | (m_out.empty() ? 0 : POLLOUT)), 0});
}

bool KissSim::handle(const std::vector<pollfd>& fds) {
    // The client first: a node that left and came back is seen leaving before it is accepted.
    for (const pollfd& fd : fds) {
        if (fd.revents == 0 || fd.fd != m_client || m_client < 0) continue;
        if (fd.revents & POLLOUT) writeClient();
        if (m_client >= 0 && (fd.revents & (POLLIN | POLLHUP | POLLERR))) readClient();
    }
    for (const pollfd& fd : fds)
        if (fd.revents != 0 && fd.fd == m_listen && m_listen >= 0) acceptClient();
    return true;
}

void KissSim::acceptClient() {
    const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    // One client at a time: a node that comes back replaces the connection it left behind.
    if (m_client >= 0) dropClient("replaced by a new one");
    m_client = fd;
    m_working = true;
    if (log) log("kiss client connected");
}

void KissSim::readClient() {
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::recv(m_client, buffer, sizeof buffer, 0);
        if (n > 0) {
            fromHost(std::string_view(buffer, static_cast<std::size_t>(n)));
            if (m_client < 0) return;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
        dropClient("left");
        return;
    }
}

void KissSim::writeClient() {
    while (!m_out.empty()) {
        const ssize_t n = ::send(m_client, m_out.data(), m_out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            m_out.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
        dropClient("left");
        return;
    }
}

void KissSim::dropClient(const std::string& why) {
    ::close(m_client);
    m_client = -1;
    m_out.clear();
    m_decoder.reset();
    if (log) log("kiss client " + why);
}

} // namespace tncsim
