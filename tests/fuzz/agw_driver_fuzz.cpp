// Fuzzes the AGW driver through its real code with a hostile modem program: links opened and
// closed (C, d), text (D) cut at CR, drain answers (Y), stray registrations, broken headers,
// dropped connections, and the core sending and disconnecting. The streams the core hears of
// follow the links (a stream is connected once, disconnected once, lowest free letter first,
// a caller beyond the streams hears the busy text and no one else does); every line a user
// ends is handed on at once, to that user's stream only, without its line feeds; text from
// the core goes to the holder of its stream only; a disconnect goes out only after the modem
// program reports the link's queue empty or the drain time has run out.
#include "fuzz_support.h"
#include "recording_tnc_host.h"
#include "scripted_agw_peer.h"
#include "tnc/cagw.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <tuple>

using namespace gw;

namespace {
const char* const kCallers[] = {"N1CALL",  "N2CALL", "N3CALL",   "N4CALL", "N5CALL",
                                "N6CALL",  "N7CALL", "N8CALL",   "N9CALL", "N10CALL",
                                "N11CALL", "n1call", "N1CALL-7", "N0CALL", "K4ABC-15"};
const std::string kNode = "N0CALL";

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool validCall(const std::string& call) {
    return !call.empty() && call.size() <= 9 && std::all_of(call.begin(), call.end(), [](char c) {
        return std::isupper(static_cast<unsigned char>(c)) ||
               std::isdigit(static_cast<unsigned char>(c)) || c == '-';
    });
}

std::string withoutLineFeeds(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    return text;
}

using Stream = std::pair<int, char>; // radio port, letter

struct Held {
    std::string call;
    std::string expected;  // the user's text since the link opened, line feeds removed
    std::size_t delivered; // how much of it the core has had
};

class Harness {
  public:
    Harness(std::uint8_t config) {
        host.port1 = (config & 3) != 2;
        host.port2 = (config & 3) != 1;
        host.call = kNode;
        auto connection = std::make_unique<gw::fuzz::ScriptedAgwPeer>();
        peer = connection.get();
        driver = std::make_unique<CAGW>(host, std::move(connection));
        FUZZ_CHECK(driver->Init(), "the scripted modem program lets the driver start");
        peer->sent.clear(); // the start-up requests
        peer->refuseRegistration = (config & 4) != 0;
        perPort = host.port1 && host.port2 ? 5 : 10;
        settle();
    }

    bool portChosen(int port) const {
        return (port == 1 && host.port1) || (port == 2 && host.port2);
    }
    std::size_t heldOn(int port) const {
        return static_cast<std::size_t>(
            std::count_if(held.begin(), held.end(),
                          [&](const auto& entry) { return entry.first.first == port; }));
    }
    const Stream* streamOf(int port, const std::string& call) const {
        for (const auto& [stream, link] : held)
            if (stream.first == port && link.call == upper(call)) return &stream;
        return nullptr;
    }

    // A frame from the modem program, in one read or cut in two.
    void frame(const AgwFrame& frame, std::size_t cut) {
        const std::string bytes = encodeAgwFrame(frame);
        cut = std::min(cut, bytes.size());
        if (cut > 0 && cut < bytes.size()) {
            peer->deliver(bytes.substr(0, cut));
            peer->deliver(bytes.substr(cut));
        } else {
            peer->deliver(bytes);
        }
        const bool up = host.tncWorking;
        const int port = frame.port + 1;
        const Stream* holder = streamOf(port, frame.callFrom);
        if (up && frame.kind == 'D' && holder != nullptr)
            held[*holder].expected += withoutLineFeeds(frame.data);
        // A link request from a caller this node must answer.
        const bool linking = up && frame.kind == 'C' && upper(frame.callTo) == kNode &&
                             validCall(upper(frame.callFrom));
        if (linking && holder != nullptr) expectGone.insert(*holder);
        const bool full = !portChosen(port) || heldOn(port) - (holder != nullptr ? 1 : 0) >=
                                                   static_cast<std::size_t>(perPort);
        if (linking) {
            linkingCall = upper(frame.callFrom);
            linkingPort = port;
            // A new link replaces the caller's old one, closing or not.
            closing.erase({port, linkingCall});
            if (full) {
                turnedAway = linkingCall;
                closing.insert({port, linkingCall});
            }
        }
        if (up && frame.kind == 'd' && holder != nullptr) expectGone.insert(*holder);
        if (frame.kind == 'Y' && frame.data.size() >= 4 &&
            frame.data.substr(0, 4) == std::string(4, '\0'))
            drained.insert({port, upper(frame.callTo)});
        settle();
        FUZZ_CHECK(!linking || full || streamOf(port, frame.callFrom) != nullptr,
                   "a caller with a free stream is connected");
        FUZZ_CHECK(!linking || !full || streamOf(port, frame.callFrom) == nullptr,
                   "a caller beyond the streams is not connected");
    }

    void sendData(int port, char letter, const std::string& text) {
        const auto link = held.find({port, letter});
        if (link != held.end() && host.tncWorking) sentText = {port - 1, link->second.call, text};
        driver->SendData(text, std::string(1, letter), port);
        settle();
        FUZZ_CHECK(!sentText, "text from the core goes to its stream's holder");
    }

    void disconnect(int port, char letter) {
        const auto link = held.find({port, letter});
        const bool holds = link != held.end() && host.tncWorking;
        if (holds) closing.insert({port, link->second.call});
        FUZZ_CHECK(driver->SendDisconnect(std::string(1, letter), port) == holds,
                   "a disconnect is taken for a held stream only");
        settle();
    }

    void wait(std::chrono::milliseconds step) {
        timePassed = true;
        host.advance(step);
        settle();
    }

    void drop(bool broken) {
        if (broken) {
            std::string bytes = encodeAgwFrame({0, 'D', 0xF0, "N1CALL", kNode, "x"});
            bytes[2] = '\x01';
            peer->deliver(bytes);
        } else {
            peer->drop();
        }
        if (host.tncWorking) everyoneGone = true;
        settle();
        FUZZ_CHECK(held.empty() || host.tncWorking, "a lost connection ends every stream");
    }

  private:
    // Polls as the dispatch's timer does until the modem program has nothing more to say,
    // then checks what the driver raised and sent.
    void settle() {
        for (int round = 0; round < 4; ++round)
            driver->SerialIn(driver->line().DataToReceive());
        for (const std::string& event : host.events)
            takeEvent(event);
        host.events.clear();
        FUZZ_CHECK(!peer->sentBroken, "the driver sends whole frames");
        for (const AgwFrame& frame : peer->sent)
            takeSent(frame);
        peer->sent.clear();
        FUZZ_CHECK(expectGone.empty(), "a link that ended has its stream disconnected");
        FUZZ_CHECK(driver->streams() == held.size(), "the driver counts the streams it raised");
        for (const auto& [stream, link] : held) {
            const std::string rest = link.expected.substr(link.delivered);
            FUZZ_CHECK(rest.find('\r') == std::string::npos, "every ended line is handed on");
            FUZZ_CHECK(rest.size() <= CAGW::kMaxLine, "an unended line is bounded");
        }
        linkingCall.clear();
        turnedAway.clear();
        drained.clear();
        timePassed = everyoneGone = false;
    }

    void takeEvent(const std::string& event) {
        FUZZ_CHECK(event.size() >= 3 && (event[1] == '1' || event[1] == '2'), "a port is named");
        const int port = event[1] - '0';
        const char letter = event[2];
        FUZZ_CHECK(portChosen(port) && letter >= 'A' && letter < 'A' + perPort,
                   "a stream of a chosen port");
        const std::string text = event.substr(3);
        const auto link = held.find({port, letter});
        if (event[0] == 'D') {
            FUZZ_CHECK(link != held.end(), "text only on a connected stream");
            FUZZ_CHECK(text.find('\n') == std::string::npos, "line feeds are taken out");
            Held& h = link->second;
            FUZZ_CHECK(h.expected.compare(h.delivered, text.size(), text) == 0,
                       "a stream hands on its own user's text, in order");
            h.delivered += text.size();
            FUZZ_CHECK(!text.empty(), "a line is not empty");
            return;
        }
        FUZZ_CHECK(event[0] == 'S', "an event is data or status");
        if (text == "*** DISCONNECTED") {
            FUZZ_CHECK(link != held.end(), "only a connected stream is disconnected");
            FUZZ_CHECK(expectGone.erase({port, letter}) == 1 || everyoneGone || timePassed,
                       "a stream ends when its link ends");
            closing.erase({port, link->second.call});
            held.erase(link);
            return;
        }
        const std::string head = "*** CONNECTED to ";
        FUZZ_CHECK(text.rfind(head, 0) == 0, "a status is a link message");
        FUZZ_CHECK(link == held.end(), "a stream is connected once");
        FUZZ_CHECK(port == linkingPort && text.substr(head.size()) == linkingCall &&
                       linkingCall != turnedAway,
                   "the caller of the link request is connected");
        for (char lower = 'A'; lower < letter; ++lower)
            FUZZ_CHECK(held.count({port, lower}) == 1, "the lowest free letter is given");
        held[{port, letter}] = Held{linkingCall, "", 0};
    }

    void takeSent(const AgwFrame& frame) {
        FUZZ_CHECK(frame.callFrom == kNode, "the driver speaks as the node");
        const std::pair<int, std::string> to{frame.port + 1, upper(frame.callTo)};
        switch (frame.kind) {
        case 'D':
            if (sentText && frame.port == std::get<0>(*sentText) &&
                frame.callTo == std::get<1>(*sentText) && frame.data == std::get<2>(*sentText)) {
                sentText.reset();
                return;
            }
            FUZZ_CHECK(frame.data == CAGW::kBusyText && to.second == turnedAway,
                       "the busy text reaches the caller turned away only");
            return;
        case 'Y':
            FUZZ_CHECK(closing.count(to) == 1, "the queue is asked of a closing link only");
            return;
        case 'd':
            FUZZ_CHECK(closing.count(to) == 1, "only a closing link is disconnected");
            FUZZ_CHECK(drained.count(to) == 1 || timePassed,
                       "a link is disconnected once drained or out of time");
            return;
        case 'X':
            return;
        default:
            FUZZ_CHECK(false, "the driver sends only text, queue questions, disconnects and "
                              "registrations after it started");
        }
    }

  public:
    gw::fuzz::RecordingTncHost host;
    gw::fuzz::ScriptedAgwPeer* peer = nullptr;
    std::unique_ptr<CAGW> driver;
    int perPort = 0;
    std::map<Stream, Held> held;
    std::set<Stream> expectGone;
    std::set<std::pair<int, std::string>> closing, drained;
    std::optional<std::tuple<int, std::string, std::string>> sentText;
    std::string linkingCall, turnedAway;
    int linkingPort = 0;
    bool timePassed = false, everyoneGone = false;
};

std::string caller(gw::fuzz::InputReader& input) {
    const std::uint8_t pick = input.byte();
    if (pick < 240) return kCallers[pick % std::size(kCallers)];
    // A call of the fuzzer's own: printable, as the frame reader requires.
    std::string call = input.field();
    call.erase(
        std::remove_if(call.begin(), call.end(),
                       [](char c) { return std::isgraph(static_cast<unsigned char>(c)) == 0; }),
        call.end());
    return call.substr(0, 9);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::ensureApplication();
    gw::fuzz::InputReader input(data, size);
    Harness harness(input.byte());
    static constexpr char kKinds[] = "CDDRdYXG";
    while (!input.empty()) {
        const std::uint8_t op = input.byte();
        switch (op % 8) {
        case 0:
        case 1:
        case 2:
        case 3: {
            AgwFrame frame;
            frame.kind = kKinds[input.byte() % 8];
            frame.port = input.byte() % 3;
            frame.pid = frame.kind == 'D' ? 0xF0 : 0;
            const std::string call = caller(input);
            const bool toNode = (op & 0x10) == 0;
            frame.callFrom = frame.kind == 'Y' ? kNode : call;
            frame.callTo = frame.kind == 'Y' ? call : toNode ? kNode : "N9XYZ";
            if (frame.kind == 'Y')
                frame.data =
                    std::string(1, static_cast<char>(input.byte() % 3)) + std::string(3, '\0');
            else
                frame.data = input.field().substr(0, AgwFrameReader::kMaxData);
            harness.frame(frame, input.byte() * 4);
            break;
        }
        case 4:
        case 5: {
            const int port = 1 + input.byte() % 2;
            const auto letter = static_cast<char>('A' + input.byte() % 11);
            if (op % 8 == 4)
                harness.sendData(port, letter, input.field());
            else
                harness.disconnect(port, letter);
            break;
        }
        case 6:
            harness.wait(std::chrono::milliseconds(input.byte()) * 800);
            break;
        default:
            harness.drop((op & 0x10) != 0);
            break;
        }
    }
    return 0;
}
