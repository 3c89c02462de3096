// The KISS driver behind the real dispatch on a fake serial line and clock: the TNC set up,
// links mapped to streams, the drain rule, busy streams, a vanished user and the shutdown.
// The user stations are frames written out by hand here, apart from the node's link code.
#include "tnc/kiss_codec.h"
#include "tnc_fakes.h"

#include <gtest/gtest.h>

using namespace gw;
using namespace gw::test;
using namespace std::string_literals;

namespace {

constexpr std::uint8_t kSabm = 0x3F, kDisc = 0x53, kUa = 0x73, kDm = 0x1F, kPidText = 0xF0;

std::string address(const std::string& call, bool bit, bool last) {
    const std::size_t dash = call.find('-');
    const std::string base = call.substr(0, dash);
    const int ssid = dash == std::string::npos ? 0 : std::stoi(call.substr(dash + 1));
    std::string out;
    for (std::size_t i = 0; i < 6; ++i)
        out += static_cast<char>((i < base.size() ? base[i] : ' ') << 1);
    return out + static_cast<char>(0x60 | (bit ? 0x80 : 0) | ssid << 1 | (last ? 1 : 0));
}

// A command frame from `from` to the node.
std::string command(const std::string& from, std::uint8_t control, const std::string& info = "") {
    std::string frame =
        address("N0NODE", true, false) + address(from, false, true) + static_cast<char>(control);
    if ((control & 1) == 0) frame += static_cast<char>(kPidText) + info;
    return frame;
}
std::string iFrame(const std::string& from, int ns, int nr, const std::string& text) {
    return command(from, static_cast<std::uint8_t>(nr << 5 | ns << 1), text);
}
std::string rr(const std::string& from, int nr) {
    return command(from, static_cast<std::uint8_t>(nr << 5 | 0x01));
}

struct Heard {
    std::string to;
    std::uint8_t control = 0;
    std::string info;
};

struct KissDriver : ::testing::Test {
    KissDriver() {
        rig.setup.type = "KISS";
        rig.setup.call = "N0NODE";
        rig.setup.kiss.retries = "3";
        rig.setup.kiss.t1 = "2";
        rig.serial.onWrite = [this](const std::string& bytes) { decoder.feed(bytes); };
    }
    bool init() {
        rig.dispatch.setPolling(true);
        driver = rig.dispatch.CreateDriver("KISS");
        return driver->Init();
    }
    // The user's frame arrives and the node handles it.
    void say(const std::string& frame) {
        rig.serial.reply(kissFrame(0, KissCommand::Data, frame));
        rig.dispatch.tmrPollSerial_Timer();
    }
    // Time passes with the polling timer running.
    void pass(std::chrono::milliseconds time) {
        for (auto left = time; left > 0ms; left -= 200ms) {
            rig.clock.advance(200ms);
            rig.dispatch.tmrPollSerial_Timer();
        }
    }
    // The node's frames since the last call, but for its identification.
    std::vector<Heard> heard() {
        std::vector<Heard> out;
        for (const std::string& frame : frames) {
            Heard h;
            for (std::size_t i = 0; i < 6; ++i)
                if (frame[i] != 0x40)
                    h.to += static_cast<char>(static_cast<unsigned char>(frame[i]) >> 1);
            h.control = static_cast<std::uint8_t>(frame[14]);
            h.info = frame.size() > 16 ? frame.substr(16) : "";
            if (h.to == "ID")
                ++identified;
            else
                out.push_back(h);
        }
        frames.clear();
        return out;
    }
    bool heardControl(const std::vector<Heard>& all, const std::string& to, std::uint8_t control) {
        return std::any_of(all.begin(), all.end(), [&](const Heard& h) {
            return h.to == to && (h.control & ~0x10) == (control & ~0x10);
        });
    }

    Rig rig;
    TncDriver* driver = nullptr;
    std::vector<std::string> frames;
    int identified = 0;
    KissDecoder decoder{[this](int, const std::string& frame) { frames.push_back(frame); }};
};

TEST_F(KissDriver, TncSetUpSessionAndTheDrainRule) {
    rig.setup.kiss.initText = "KISS ON | RESTART";
    rig.setup.kiss.txDelay = "25";
    rig.setup.kiss.fullDuplex = true;
    ASSERT_TRUE(init()) << rig.setup.progressText;
    EXPECT_EQ(rig.serial.written,
              "KISS ON\rRESTART\r\xC0\x01\x19\xC0\xC0\x02\x3F\xC0\xC0\x03\x0A\xC0\xC0\x04\x0A\xC0"
              "\xC0\x05\x01\xC0"s);
    EXPECT_EQ(rig.dispatch.lMaxusers1(), 10);
    EXPECT_EQ(rig.dispatch.GetPaclen(1), 128);

    say(command("N1USER-3", kSabm));
    auto out = heard();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].to, "N1USER");
    EXPECT_EQ(out[0].control, kUa);
    EXPECT_EQ(rig.main.statuses, std::vector<std::string>{"S1A*** CONNECTED to N1USER-3"});

    // A line in two frames, a message line with LF: one event per line, as typed.
    say(iFrame("N1USER-3", 0, 0, "L"));
    say(iFrame("N1USER-3", 1, 0, "M\r\nbody\r"));
    EXPECT_EQ(rig.main.data, (std::vector<std::string>{"D1ALM\r", "D1Abody\r"}));

    // The farewell goes out with the next poll, the DISC only once the user has acknowledged
    // it.
    rig.dispatch.SendData(1, "A", std::string(100, 'x'));
    rig.dispatch.SendData(1, "A", std::string(100, 'x'));
    rig.dispatch.SendDisconnect(1, "A");
    rig.dispatch.tmrPollSerial_Timer();
    out = heard();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].info, std::string(128, 'x'));
    EXPECT_EQ(out[1].info, std::string(72, 'x'));
    EXPECT_FALSE(heardControl(out, "N1USER", kDisc));
    say(rr("N1USER-3", 1));
    EXPECT_FALSE(heardControl(heard(), "N1USER", kDisc)) << "one frame still unacknowledged";
    say(rr("N1USER-3", 2));
    EXPECT_TRUE(heardControl(heard(), "N1USER", kDisc));
    EXPECT_EQ(rig.main.statuses.size(), 1u);
    say(command("N1USER-3", kUa) + "");
    EXPECT_EQ(rig.main.statuses.back(), "S1A*** DISCONNECTED");
    EXPECT_EQ(static_cast<CKISS*>(driver)->streams(), 0u);
}

TEST_F(KissDriver, BusyStreamsAndAVanishedUserFreeingItsStream) {
    rig.setup.port1 = rig.setup.port2 = true; // five streams on each port
    ASSERT_TRUE(init());
    for (int i = 0; i < 6; ++i)
        say(command("N1U" + std::to_string(i), kSabm));
    const auto out = heard();
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out[4].control, kUa);
    EXPECT_EQ(out[5].control, kDm) << "the sixth caller on port 1 finds every stream taken";
    EXPECT_EQ(rig.main.statuses.back(), "S1E*** CONNECTED to N1U4");

    // N1U0 is gone: the node's text is never acknowledged; after its retries the link has
    // failed, the log says why, and the stream is free for the next caller.
    rig.dispatch.SendData(1, "A", "Welcome\r");
    pass(40s);
    ASSERT_EQ(rig.main.statuses.back(), "S1A*** DISCONNECTED");
    const auto failure = std::find_if(rig.main.log.begin(), rig.main.log.end(), [](auto& line) {
        return line.find("1/A: link to N1U0 failed: ") == 0;
    });
    EXPECT_NE(failure, rig.main.log.end());
    say(command("N1U9", kSabm));
    EXPECT_EQ(rig.main.statuses.back(), "S1A*** CONNECTED to N1U9");
}

TEST_F(KissDriver, ShutdownTakesEveryLinkDownThenLeavesKiss) {
    rig.setup.kiss.exitKiss = true;
    ASSERT_TRUE(init());
    say(command("N1A", kSabm));
    say(command("N1B", kSabm));
    heard();
    rig.serial.written.clear();
    // N1A acknowledges the DISC, N1B is silent.
    rig.serial.onWrite = [this](const std::string& bytes) {
        decoder.feed(bytes);
        for (const Heard& h : heard())
            if (h.to == "N1A" && (h.control & ~0x10) == kDisc)
                rig.serial.reply(kissFrame(0, KissCommand::Data, command("N1A", kUa)));
    };
    const auto before = rig.clock.elapsed();
    rig.dispatch.Restore();
    EXPECT_LT(rig.clock.elapsed() - before, 60s) << "bounded by N2 tries of T1";
    EXPECT_EQ(rig.serial.written.substr(rig.serial.written.size() - 3), "\xC0\xFF\xC0"s);
    EXPECT_EQ(rig.dispatch.driver("KISS"), nullptr);
    EXPECT_EQ(rig.main.statuses.size(), 2u) << "the core said goodbye itself";
}

} // namespace
