// Every link rule through the station, against a test peer that writes its frames byte by byte
// (its own little encoder) on a fake clock. The station's frames are read back and written as
// short text: "I s0 r1", "RR r2 F" (response, final), "RR r0 P" (command, poll), "UA F".
#include "ax25/frame.h"
#include "ax25/station.h"
#include "support/fake_clock.h"

#include <gtest/gtest.h>

using namespace gw::ax25;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

namespace {
std::string address(std::string_view call, int ssid, bool flag, bool last) {
    std::string out;
    for (std::size_t i = 0; i < 6; ++i)
        out += static_cast<char>((i < call.size() ? call[i] : ' ') << 1);
    return out + static_cast<char>((flag ? 0x80 : 0) | 0x60 | ssid << 1 | (last ? 1 : 0));
}
// Control fields modulo 8, as the peer writes them.
std::string iFrame(int ns, int nr, bool poll = false) {
    return std::string{static_cast<char>(nr << 5 | (poll ? 0x10 : 0) | ns << 1), '\xF0'};
}
std::string sFrame(int kind, int nr, bool pf = false) { // kind: RR 0, RNR 1, REJ 2, SREJ 3
    return std::string{static_cast<char>(nr << 5 | (pf ? 0x10 : 0) | kind << 2 | 1)};
}
const std::string kSabm = "\x3F", kSabme = "\x7F", kDisc = "\x53", kUa = "\x73";
constexpr int RR = 0, RNR = 1, REJ = 2, SREJ = 3;

std::string describe(const Frame& frame) {
    static const char* names[] = {"I",    "RR", "RNR", "REJ",  "SREJ", "SABM", "SABME",
                                  "DISC", "DM", "UA",  "FRMR", "UI",   "XID",  "TEST"};
    const Control& c = frame.control;
    std::string text = names[static_cast<int>(c.type)];
    if (c.type == FrameType::I) text += " s" + std::to_string(c.ns);
    if (c.type <= FrameType::SREJ) text += " r" + std::to_string(c.nr);
    if (c.pollFinal) text += frame.command() ? " P" : " F";
    if (c.type == FrameType::UI) text += " " + frame.destination.text();
    return text;
}

struct Rig {
    explicit Rig(std::function<void(StationConfig&)> tweak = {}) {
        config.call = "N0NODE";
        config.idInterval = 0ms;
        if (tweak) tweak(config);
        StationEvents events;
        events.transmit = [this](int, const std::string& frame) { out.push_back(frame); };
        events.accept = [this](int, const std::string&) { return accepting; };
        events.connected = [this](LinkId id) { this->id = id; };
        events.received = [this](LinkId, const std::string& data) { received += data; };
        events.ended = [this](LinkId, EndReason reason, const std::string& text) {
            ended = text;
            endReason = reason;
        };
        station = std::make_unique<Station>(config, clock, std::move(events));
    }
    // A frame from the user N1USR-3 to the node, optionally through `path` (already encoded).
    void user(const std::string& control, std::string info = {}, bool command = true,
              const std::string& path = {}, const std::string& from = "N1USR") {
        station->receive(0, address("N0NODE", 0, command, false) +
                                address(from, 3, !command, path.empty()) + path + control + info);
    }
    void connect() {
        user(kSabm);
        sent();
    }
    Strings sent(bool modulo128 = false) {
        Strings text;
        for (const std::string& bytes : out) {
            const auto frame = decodeFrame(bytes, modulo128);
            text.push_back(frame ? describe(*frame) : "?");
        }
        out.clear();
        return text;
    }
    void after(std::chrono::milliseconds step) {
        clock.advance(step);
        station->tick();
    }

    gw::FakeClock clock;
    StationConfig config;
    std::unique_ptr<Station> station;
    std::vector<std::string> out;
    bool accepting = true;
    LinkId id = 0;
    std::string received, ended;
    EndReason endReason{};
};
} // namespace

TEST(Ax25Station, AnswersCallsAndTakesLinksDown) {
    Rig rig;
    rig.user(kSabm);
    EXPECT_EQ(rig.sent(), Strings{"UA F"});
    ASSERT_NE(rig.id, 0u);
    EXPECT_EQ(rig.station->info(rig.id)->peer, "N1USR-3");
    rig.user(kDisc);
    EXPECT_EQ(rig.sent(), Strings{"UA F"});
    EXPECT_EQ(rig.endReason, EndReason::PeerDisconnected);
    EXPECT_TRUE(rig.station->allDown());

    rig.accepting = false; // the node has no stream free
    rig.user(kSabm);
    rig.user(iFrame(0, 0, true));
    rig.user(kDisc.substr(0, 0) + "\x43");
    rig.user(sFrame(RR, 0));
    EXPECT_EQ(rig.sent(), (Strings{"DM F", "DM F", "DM"}));

    Rig v20([](StationConfig& c) { c.acceptModulo128 = false; });
    v20.user(kSabme);
    EXPECT_EQ(v20.sent(), Strings{"DM F"});

    Rig crowd; // the hard cap holds whatever accept() says
    for (int i = 0; i < 65; ++i)
        crowd.user(kSabm, {}, true, {}, "C" + std::to_string(i));
    EXPECT_EQ(crowd.station->links().size(), 64u);
    EXPECT_EQ(crowd.sent().back(), "DM F");
}

TEST(Ax25Station, AnswersThroughDigipeatersAndIgnoresWhatIsNotForIt) {
    Rig rig;
    const std::string path = address("WIDE1", 1, true, false) + address("RELAY", 0, true, true);
    rig.user(kSabm, {}, true, path);
    ASSERT_EQ(rig.out.size(), 1u);
    const auto ua = decodeFrame(rig.out[0], false);
    ASSERT_EQ(ua->digipeaters.size(), 2u);
    EXPECT_EQ(ua->digipeaters[0].text(), "RELAY");
    EXPECT_EQ(ua->digipeaters[1].text(), "WIDE1-1");
    EXPECT_FALSE(ua->digipeaters[0].flag || ua->digipeaters[1].flag);
    EXPECT_EQ(rig.station->info(rig.id)->path, (Strings{"RELAY", "WIDE1-1"}));
    rig.user(kSabm); // the caller comes again, directly
    EXPECT_TRUE(rig.station->info(rig.id)->path.empty());
    rig.user("\xF3", "ping"); // TEST, answered on a link or not, up to our N1
    EXPECT_EQ(decodeFrame(rig.out.back(), false)->control.info, "ping");
    const std::string ownUa = rig.out.at(0);
    rig.out.clear();
    rig.user("\xF3", std::string(257, 'x'));
    EXPECT_TRUE(rig.out.empty());

    Rig quiet;
    quiet.user(kSabm, {}, true, address("RELAY", 0, false, true)); // not repeated yet
    quiet.station->receive(0, address("N9XYZ", 0, true, false) + address("N1USR", 3, false, true) +
                                  kSabm);
    quiet.station->receive(0, address("N0NODE", 0, true, false) +
                                  address("N0NODE", 0, false, true) + kSabm);
    quiet.station->receive(0, ownUa); // our own UA, echoed by the TNC
    EXPECT_TRUE(quiet.out.empty());
    EXPECT_EQ(quiet.station->counters(0).framesIn, 4u);
}

TEST(Ax25Station, TakesDataOnceInOrderAndAcknowledgesABurstWithOneRr) {
    Rig rig;
    rig.connect();
    rig.user(iFrame(0, 0), "one ");
    rig.user(iFrame(1, 0), "two ");
    rig.after(1000ms);
    rig.user(iFrame(2, 0), "three");
    rig.after(1000ms);
    EXPECT_TRUE(rig.sent().empty());
    rig.after(600ms);
    EXPECT_EQ(rig.sent(), Strings{"RR r3"});
    EXPECT_EQ(rig.received, "one two three");

    // Out of sequence: discarded, one REJ until the gap closes; a repeat is not taken twice.
    rig.user(iFrame(4, 0), "lost");
    rig.user(iFrame(5, 0), "lost");
    rig.user(iFrame(2, 0, true), "three");
    EXPECT_EQ(rig.sent(), (Strings{"REJ r3", "RR r3 F"}));
    rig.user(iFrame(3, 0), " four");
    rig.user(iFrame(4, 0, true), " five");
    EXPECT_EQ(rig.sent(), Strings{"RR r5 F"});
    EXPECT_EQ(rig.received, "one two three four five");
    rig.user(iFrame(7, 0));
    EXPECT_EQ(rig.sent(), Strings{"REJ r5"});
    EXPECT_EQ(rig.station->counters(0).rejects, 2u);
}

TEST(Ax25Station, PassesOnSegmentedDataWithoutTheirHeaders) {
    Rig rig;
    rig.connect();
    const auto segment = [](int ns) { return iFrame(ns, 0).substr(0, 1) + "\x08"; };
    rig.user(segment(0), "\x82\xF0"
                         "abc");
    rig.user(segment(1), "\x01"
                         "def");
    rig.user(segment(2), "\x05"
                         "bad"); // does not continue the count
    rig.user(segment(3), "\x00"
                         "ghi"); // no data under way
    rig.user(segment(4), "\x80\xF0"
                         "jk");
    EXPECT_EQ(rig.received, "abcdefjk");
}

TEST(Ax25Station, SendsWithinTheWindowAndResendsOnRejAndSrej) {
    Rig rig([](StationConfig& c) {
        c.window = 2;
        c.paclen = 4;
    });
    rig.connect();
    EXPECT_TRUE(rig.station->send(rig.id, "aaaabbbb"));
    EXPECT_TRUE(rig.station->send(rig.id, "ccccdddd"));
    EXPECT_EQ(rig.station->nextDeadline(), 0ms);
    rig.station->tick();
    EXPECT_EQ(rig.sent(), (Strings{"I s0 r0", "I s1 r0"}));
    rig.user(sFrame(RR, 1));
    EXPECT_EQ(rig.sent(), Strings{"I s2 r0"});
    rig.user(sFrame(REJ, 1));
    EXPECT_EQ(rig.sent(), (Strings{"I s1 r0", "I s2 r0"}));
    rig.user(sFrame(SREJ, 2));
    EXPECT_EQ(rig.sent(), Strings{"I s2 r0"});
    rig.user(sFrame(RR, 3));
    EXPECT_EQ(rig.sent(), Strings{"I s3 r0"});
    EXPECT_EQ(rig.station->info(rig.id)->framesResent, 3u);
    EXPECT_EQ(rig.station->counters(0).retransmissions, 3u);
    EXPECT_EQ(rig.station->counters(0).rejects, 2u);
    // The peer's data is acknowledged on our own I frames.
    rig.user(iFrame(0, 3), "x");
    rig.station->send(rig.id, "e");
    rig.user(sFrame(RR, 4));
    EXPECT_EQ(rig.sent(), Strings{"I s4 r1"});
    rig.station->send(rig.id, "f");
    rig.station->tick();
    rig.after(3000ms);
    EXPECT_EQ(rig.sent(), (Strings{"I s5 r1", "RR r1 P"}));
    rig.user(sFrame(SREJ, 4, true), {}, false); // answers the poll: frame 4 alone again
    EXPECT_EQ(rig.sent(), Strings{"I s4 r1"});
}

TEST(Ax25Station, FlowControlBothWays) {
    Rig rig([](StationConfig& c) { c.maxQueued = 10; });
    rig.connect();
    rig.user(sFrame(RNR, 0));
    EXPECT_TRUE(rig.station->send(rig.id, "0123456789"));
    EXPECT_FALSE(rig.station->send(rig.id, "x")); // nothing queued partially
    rig.station->tick();
    EXPECT_TRUE(rig.sent().empty());
    rig.after(3000ms);
    EXPECT_EQ(rig.sent(), Strings{"RR r0 P"}); // a busy peer is polled
    rig.user(sFrame(RR, 0, true), {}, false);
    EXPECT_EQ(rig.sent(), Strings{"I s0 r0"});

    rig.station->setBusy(rig.id, true);
    rig.user(iFrame(0, 1), "not now");
    rig.user(iFrame(0, 1, true), "not now");
    EXPECT_EQ(rig.sent(), (Strings{"RNR r0", "RNR r0 F"}));
    EXPECT_EQ(rig.received, "");
    rig.station->setBusy(rig.id, false);
    rig.user(iFrame(0, 1, true), "now");
    EXPECT_EQ(rig.sent(), (Strings{"RR r0", "RR r1 F"}));
    EXPECT_EQ(rig.received, "now");
}

TEST(Ax25Station, T1PollsBacksOffAndTheLinkFailsAfterN2) {
    Rig rig([](StationConfig& c) { c.retries = 3; });
    rig.connect();
    rig.station->send(rig.id, "hello");
    rig.station->tick();
    EXPECT_EQ(rig.sent(), Strings{"I s0 r0"});
    for (auto wait : {3000ms, 6000ms, 12000ms, 12000ms}) { // doubling, up to four times T1
        rig.after(wait - 1ms);
        EXPECT_TRUE(rig.out.empty());
        rig.after(1ms);
        EXPECT_EQ(rig.sent(), Strings{rig.ended.empty() ? "RR r0 P" : "DM"});
    }
    EXPECT_EQ(rig.ended, "retry count exceeded (3)");
    EXPECT_EQ(rig.endReason, EndReason::Failed);
    EXPECT_EQ(rig.station->counters(0).linkFailures, 1u);
    EXPECT_FALSE(rig.station->send(rig.id, "x"));
}

TEST(Ax25Station, AnsweredPollResendsAndRoundTripsSetT1) {
    Rig rig;
    const std::string twoHops = address("RELAY", 0, true, false) + address("WIDE1", 0, true, true);
    rig.user(kSabm, {}, true, twoHops);
    rig.station->send(rig.id, "a");
    rig.station->tick();
    rig.after(8999ms); // first T1: 3 s for each of three transmissions
    EXPECT_EQ(rig.sent(), (Strings{"UA F", "I s0 r0"}));
    rig.after(1ms);
    EXPECT_EQ(rig.sent(), Strings{"RR r0 P"});
    rig.after(1000ms); // the poll's answer is a round trip: T1 about 8 s, not the backed-off 18
    rig.user(sFrame(RR, 0, true), {}, false, twoHops);
    EXPECT_EQ(rig.sent(), Strings{"I s0 r0"});
    rig.after(7000ms);
    rig.user(sFrame(RR, 1), {}, true, twoHops); // acknowledges a resent frame: no round trip
    rig.station->send(rig.id, "b");
    rig.station->tick();
    rig.after(8123ms);
    EXPECT_EQ(rig.sent(), Strings{"I s1 r0"});
    rig.after(1ms);
    EXPECT_EQ(rig.sent(), Strings{"RR r0 P"});
    rig.user(sFrame(RR, 2, true), {}, false, twoHops);

    // A quick peer: 400 ms round trips bring T1 down to about 1 s.
    for (int i = 0; i < 30; ++i) {
        rig.station->send(rig.id, "c");
        rig.station->tick();
        rig.after(400ms);
        rig.user(sFrame(RR, (3 + i) % 8), {}, true, twoHops);
    }
    rig.sent();
    rig.station->send(rig.id, "d");
    rig.station->tick();
    rig.after(1500ms);
    EXPECT_EQ(rig.sent(), (Strings{"I s0 r0", "RR r0 P"}));
}

TEST(Ax25Station, T3PollsAnIdleLink) {
    Rig rig([](StationConfig& c) { c.t3 = 60000ms; });
    rig.connect();
    rig.after(30000ms);
    rig.user(sFrame(RR, 0)); // heard: the idle time starts again
    rig.after(59999ms);
    EXPECT_TRUE(rig.sent().empty());
    rig.after(1ms);
    EXPECT_EQ(rig.sent(), Strings{"RR r0 P"});
    EXPECT_EQ(rig.station->info(rig.id)->state, LinkState::TimerRecovery);
    rig.user(sFrame(RR, 0, true), {}, false);
    EXPECT_EQ(rig.station->info(rig.id)->state, LinkState::Connected);
}

TEST(Ax25Station, ResetsOnRepeatedSabmAndOnProtocolErrors) {
    Rig rig([](StationConfig& c) { c.paclen = 300; });
    rig.connect();
    rig.station->send(rig.id, "kept");
    rig.station->tick();
    rig.user(iFrame(0, 0), "x");
    rig.sent();
    rig.user(kSabm); // variables zero; the unacknowledged frame goes again
    rig.station->tick();
    EXPECT_EQ(rig.sent(), (Strings{"UA F", "I s0 r0"}));
    rig.user(iFrame(0, 1, true), "y");
    EXPECT_EQ(rig.sent(), Strings{"RR r1 F"});
    EXPECT_EQ(rig.received, "xy");

    rig.user(sFrame(RR, 5)); // acknowledges a frame never sent
    EXPECT_EQ(rig.sent(), Strings{"SABM P"});
    EXPECT_EQ(rig.station->info(rig.id)->state, LinkState::AwaitingConnection);
    rig.user(kUa, {}, false);
    rig.user(iFrame(0, 0), std::string(301, 'z')); // over our N1 of 300
    EXPECT_EQ(rig.sent(), Strings{"SABM P"});
    EXPECT_EQ(rig.received, "xy");
    rig.user(kUa, {}, false);
    rig.user("\x27"); // undefined control: refused, the link stays
    EXPECT_EQ(rig.sent(), Strings{"FRMR"});
    EXPECT_EQ(rig.station->info(rig.id)->state, LinkState::Connected);
}

TEST(Ax25Station, AnswersXidWithItsOwnParameters) {
    Rig rig([](StationConfig& c) {
        c.window = 7;
        c.paclen = 300;
    });
    rig.user(kSabme);
    const std::string offer("\x82\x80\x00\x0C\x03\x03\x86\xA8\x22\x06\x02\x01\x00\x08\x01\x02", 16);
    rig.user("\xBF", offer);
    const auto answer = decodeFrame(rig.out.at(1), true);
    ASSERT_TRUE(answer);
    EXPECT_EQ(describe(*answer), "XID F");
    EXPECT_EQ(answer->control.info,
              std::string("\x82\x80\x00\x10\x02\x02\x21\x00\x03\x03\x84\xA8\x42"
                          "\x06\x02\x09\x60\x08\x01\x07",
                          20));
    rig.out.clear();
    rig.station->send(rig.id, std::string(80, 'q')); // the peer takes 32 bytes, 2 frames at a time
    rig.station->tick();
    EXPECT_EQ(rig.sent(true), (Strings{"I s0 r0", "I s1 r0"}));
}

TEST(Ax25Station, DrainsBeforeDiscAndRetriesIt) {
    Rig rig([](StationConfig& c) { c.retries = 2; });
    rig.connect();
    rig.station->send(rig.id, "bye");
    rig.station->disconnect(rig.id);
    EXPECT_FALSE(rig.station->send(rig.id, "late"));
    rig.station->tick();
    EXPECT_EQ(rig.sent(), Strings{"I s0 r0"});
    rig.user(sFrame(RR, 1));
    EXPECT_EQ(rig.sent(), Strings{"DISC P"});
    rig.after(3000ms);
    rig.after(6000ms);
    EXPECT_EQ(rig.sent(), (Strings{"DISC P", "DISC P"}));
    rig.after(12000ms);
    EXPECT_EQ(rig.endReason, EndReason::Local);
    EXPECT_TRUE(rig.station->allDown());

    // A peer that answers polls but never takes the data cannot hold the link open.
    Rig stuck([](StationConfig& c) { c.retries = 2; });
    stuck.connect();
    stuck.station->send(stuck.id, "bye");
    stuck.station->tick();
    stuck.station->disconnectAll();
    for (int i = 0; i < 10 && stuck.ended.empty(); ++i) {
        stuck.after(24000ms);
        stuck.user(sFrame(RR, 0, true), {}, false);
    }
    EXPECT_EQ(stuck.ended, "retry count exceeded (2) while disconnecting");
    EXPECT_EQ(stuck.endReason, EndReason::Failed);
    EXPECT_TRUE(stuck.station->allDown());
}

TEST(Ax25Station, CallbacksMayCallTheStationAgain) {
    Rig rig;
    LinkId next = 0;
    int inside = 0; // no event is raised while a callback runs
    struct Inside {
        int& depth;
        explicit Inside(int& d) : depth(d) { EXPECT_EQ(depth++, 0); }
        ~Inside() { --depth; }
    };
    StationEvents events;
    std::unique_ptr<Station>& station = rig.station;
    events.transmit = [&](int, const std::string& frame) {
        Inside guard(inside);
        rig.out.push_back(frame);
    };
    events.accept = [](int, const std::string&) { return true; };
    events.connected = [&](LinkId id) {
        Inside guard(inside);
        station->send(id, "welcome");
    };
    events.received = [&](LinkId id, const std::string& data) {
        Inside guard(inside);
        station->send(id, "echo " + data);
        station->disconnect(id);
        station->send(id, "refused");
    };
    events.ended = [&](LinkId id, EndReason, const std::string&) {
        Inside guard(inside);
        EXPECT_FALSE(station->info(id));
        station->receive(0, address("N0NODE", 0, true, false) + address("N2NEW", 0, false, true) +
                                kSabm);
        next = station->links().empty() ? 0 : station->links().front().id;
    };
    station = std::make_unique<Station>(rig.config, rig.clock, std::move(events));
    rig.user(kSabm);
    rig.user(iFrame(0, 0), "hi");
    rig.station->tick();
    rig.user(sFrame(RR, 2));
    EXPECT_EQ(rig.sent(), (Strings{"UA F", "I s0 r1", "I s1 r1", "DISC P"}));
    rig.user(kUa, {}, false);
    EXPECT_NE(next, 0u);
    EXPECT_EQ(rig.sent(), Strings{"UA F"});
}

TEST(Ax25Station, IdentifiesWhenTransmittingAndWhenTheLastLinkEnds) {
    Rig rig([](StationConfig& c) {
        c.idInterval = 600000ms;
        c.t3 = 3600000ms;
    });
    rig.user(kSabm);
    rig.user(kSabm, {}, true, {}, "N2TWO");
    EXPECT_EQ(rig.sent(), (Strings{"UA F", "UI ID", "UA F"}));
    rig.after(599000ms);
    rig.user(kDisc);
    EXPECT_EQ(rig.sent(), Strings{"UA F"});
    rig.after(1000ms);
    rig.user(sFrame(RR, 0, true), {}, true, {}, "N2TWO");
    rig.user(kDisc, {}, true, {}, "N2TWO");
    EXPECT_EQ(rig.sent(), (Strings{"RR r0 F", "UI ID", "UA F", "UI ID"}));
}
