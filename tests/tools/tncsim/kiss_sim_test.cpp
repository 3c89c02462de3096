// tncsim --type KISS with the node played by hand: fixed KISS and AX.25 bytes written to its
// pty or TCP port, the simulated users' frames read back byte for byte. Checks the users' link
// layer (the oracle the node's end-to-end tests trust), the seeded channel and hostile input.
#include "sim_process.h"

#include <set>
#include <vector>

namespace {
using namespace std::string_literals;
using tncsimtest::Sim;
const std::string kNode = "\x9C\x60\x86\x82\x98\x98"; // N0CALL, shifted
const std::string kUser = "\x9C\x62\xAA\xA6\x8A\xA4"; // N1USER
const std::string kDigi1 = "\x88\x92\x8E\x92\x62\x40";
const std::string kDigi2 = "\x88\x92\x8E\x92\x64\x40";

std::string kiss(const std::string& frame, char type = '\0') {
    return "\xC0" + std::string(1, type) + frame + "\xC0";
}
// N1USER to the node: a command has C set in the destination's SSID byte, a response in the
// source's; the last address has the end bit.
std::string fromUser(bool command, const std::string& control) {
    return kiss(kNode + (command ? "\xE0" : "\x60") + kUser + (command ? "\x61" : "\xE1") +
                control);
}
std::string fromNode(bool command, const std::string& control) {
    return kiss(kUser + (command ? "\xE0" : "\x60") + kNode + (command ? "\x61" : "\xE1") +
                control);
}
const std::string kTxDelay30 = "\xC0\x01\x1E\xC0";

// A linked user: the SABM read, UA written.
void link(Sim& sim) {
    sim.write(kTxDelay30);
    ASSERT_EQ(sim.read("\x3F\xC0"), fromUser(true, "\x3F")) << "SABM with P";
    sim.write(fromNode(false, "\x73")); // UA with F
    ASSERT_NE(sim.output("CONNECTED").find("1A link *** CONNECTED to N0CALL"), std::string::npos)
        << sim.printed;
}
} // namespace

TEST(TncsimKiss, UserLinksSendsAcknowledgesAndTakesTheLinkDown) {
    Sim sim({"--type", "KISS", "--t1", "5000", "--exit-when-done"},
            "1A connect N1USER\n1A send hello\n1A expect bye\n1A disconnect\n");
    ASSERT_NO_FATAL_FAILURE(link(sim));
    EXPECT_NE(sim.printed.find("tnc: kiss param TXDELAY 30 port 0"), std::string::npos);
    EXPECT_EQ(sim.read("\r\xC0"), fromUser(true, std::string("\x00\xF0hello\r", 8)))
        << "I frame S0 R0";
    // The node's I frame S0 R1 acknowledges "hello"; the user answers RR R1, then DISC.
    sim.write(fromNode(true, "\x20\xF0"
                             "bye\r"));
    EXPECT_EQ(sim.read("\x53\xC0"), fromUser(false, "\x21") + fromUser(true, "\x53"));
    sim.write(fromNode(false, "\x73"));
    EXPECT_NE(sim.output("DISCONNECTED").find("1A <<< bye\\r\n1A expect ok: bye"),
              std::string::npos)
        << sim.printed;
    EXPECT_NE(sim.printed.find("1A link *** DISCONNECTED"), std::string::npos) << sim.printed;
    EXPECT_TRUE(sim.process.waitForFinished(3000)) << "the script is done and the link down";
    EXPECT_EQ(sim.process.exitCode(), 0);
}

TEST(TncsimKiss, SabmeGivesModulo128OrFallsBackToSabm) {
    const std::string script = "1A connect N1USER\n1A send hi\n";
    Sim wide({"--type", "KISS", "--sabme"}, script);
    wide.write(kTxDelay30);
    ASSERT_EQ(wide.read("\x7F\xC0"), fromUser(true, "\x7F")) << "SABME with P";
    wide.write(fromNode(false, "\x73") + fromNode(true, "\x00\x02\xF0x"s));
    // Two-byte control fields: I S0 R0, then RR R1.
    EXPECT_EQ(wide.read("\x01\x02\xC0"),
              fromUser(true, "\x00\x00\xF0hi\r"s) + fromUser(false, "\x01\x02"));
    Sim narrow({"--type", "KISS", "--sabme"}, script);
    narrow.write(kTxDelay30);
    ASSERT_EQ(narrow.read("\x7F\xC0"), fromUser(true, "\x7F"));
    narrow.write(fromNode(false, "\x1F")); // DM: a version 2.0 station
    EXPECT_EQ(narrow.read("\x3F\xC0"), fromUser(true, "\x3F"));
}

TEST(TncsimKiss, RejectsPollsRetriesAndGivesUpAfterN2) {
    Sim sim({"--type", "KISS", "--t1", "1000", "--n2", "2"},
            "1A connect N1USER\n1A send one\n1A send two\n1A expect a\n1A send three\n");
    ASSERT_NO_FATAL_FAILURE(link(sim));
    EXPECT_EQ(sim.read("two\r\xC0"),
              fromUser(true, std::string("\x00\xF0one\r", 6)) + fromUser(true, "\x02\xF0two\r"));
    sim.write(fromNode(false, "\x29")); // REJ R1: "two" again
    EXPECT_EQ(sim.read("two\r\xC0"), fromUser(true, "\x02\xF0two\r"));
    // S1 where S0 is due: one REJ R0 however often it comes, and a poll is answered RR F.
    sim.write(fromNode(true, "\x42\xF0x"));
    EXPECT_EQ(sim.read("\x09\xC0"), fromUser(false, "\x09"));
    sim.write(fromNode(true, "\x42\xF0x") + fromNode(true, "\x51"));
    EXPECT_EQ(sim.read("\x11\xC0"), fromUser(false, "\x11"));
    sim.write(fromNode(true, "\x40\xF0"
                             "a"));
    EXPECT_EQ(sim.read("three\r\xC0"), fromUser(false, "\x21") + fromUser(true, "\x24\xF0three\r"));
    // Nothing more from the node: RR P polls on T1, N2 of them, then DM and the link is gone.
    EXPECT_EQ(sim.read("\x0F\xC0", 6000),
              fromUser(true, "\x31") + fromUser(true, "\x31") + fromUser(false, "\x0F"));
    EXPECT_NE(sim.output("link failed").find("1A link failed: retry count exceeded"),
              std::string::npos)
        << sim.printed;
    EXPECT_EQ(sim.printed.find("error"), std::string::npos) << sim.printed;
}

TEST(TncsimKiss, DigipeatedBusyVanishedAndUnacknowledgingUsers) {
    Sim sim({"--type", "KISS", "--t1", "5000"},
            "1A connect N1USER\n1A expect-disconnect 5\n1A connect N1USER\n1A expect x\n"
            "1A never-ack\n2B connect N1USER via DIGI1,DIGI2\n2B expect hi\n2B vanish\n");
    sim.write(kTxDelay30);
    // Port 2 is KISS port 1; the digipeaters have marked themselves as repeated (H).
    const std::string viaSabm =
        kiss(kNode + "\xE0" + kUser + "\x60" + kDigi1 + "\xE0" + kDigi2 + "\xE1\x3F", '\x10');
    EXPECT_EQ(sim.read(viaSabm), fromUser(true, "\x3F") + viaSabm);
    sim.write(fromNode(false, "\x1F")); // DM with F: busy
    EXPECT_NE(
        sim.output("disconnected by node").find("1A link *** N0CALL busy\n1A disconnected by node"),
        std::string::npos)
        << sim.printed;
    EXPECT_EQ(sim.read("\x3F\xC0"), fromUser(true, "\x3F")) << "calls again";
    sim.write(fromNode(false, "\x73") + fromNode(true, "\x00\xF0x"s));
    EXPECT_EQ(sim.read("\x21\xC0"), fromUser(false, "\x21"));

    // The answer must come back the same way reversed, unrepeated; direct it is refused.
    const std::string path = kDigi2 + "\x60" + kDigi1 + "\x61";
    const std::string backResponse = kUser + "\x60" + kNode + "\xE0" + path;
    const std::string backCommand = kUser + "\xE0" + kNode + "\x60" + path;
    sim.write(kiss(kUser + "\x60" + kNode + "\xE1\x73", '\x10'));
    EXPECT_NE(sim.output("error").find("tnc: error: 2B: the node's frame came by (direct), not "
                                       "DIGI2,DIGI1"),
              std::string::npos)
        << sim.printed;
    sim.write(kiss(backResponse + "\x73", '\x10') + kiss(backCommand + "\x00\xF0hi"s, '\x10'));
    EXPECT_EQ(
        sim.read("\x21\xC0"),
        kiss(kNode + "\x60" + kUser + "\xE0" + kDigi1 + "\xE0" + kDigi2 + "\xE1\x21", '\x10'));
    EXPECT_NE(sim.output("2B vanish").find("2B link *** CONNECTED"), std::string::npos);
    EXPECT_NE(sim.output("1A never-ack").find("1A expect ok: x"), std::string::npos);

    // Neither answers I frames or polls now; 1A still takes the link down when told.
    sim.write(fromNode(true, "\x02\xF0y") + fromNode(true, "\x11") +
              kiss(backCommand + "\x11", '\x10'));
    EXPECT_EQ(sim.read("", 500), "");
    sim.write(fromNode(true, "\x53"));
    EXPECT_EQ(sim.read("\x73\xC0"), fromUser(false, "\x73"));
    EXPECT_EQ(sim.output("DISCONNECTED by").find("<<< y"), std::string::npos) << sim.printed;
    EXPECT_EQ(sim.printed.find("error", sim.printed.find("DIGI2,DIGI1")), std::string::npos)
        << sim.printed;
}

namespace {
const std::string kId = "\x92\x88\x40\x40\x40\x40"; // ID

// The callers whose SABM reached the node, in order, and the UI texts the users heard, for a
// lossy channel with `seed`: 40 flooders call, and the node sends 40 UI frames.
std::pair<std::vector<std::string>, std::vector<std::string>> channelRun(const char* seed) {
    Sim sim({"--type", "KISS", "--drop", "30", "--dup", "30", "--delay-frames", "30:300", "--seed",
             seed},
            "1A flood 40\n");
    std::string uis;
    for (int i = 10; i < 50; ++i)
        uis += kiss(kId + "\xE0" + kNode + "\x61\x03\xF0" + std::to_string(i));
    sim.write(uis);
    std::pair<std::vector<std::string>, std::vector<std::string>> heard;
    const std::string frames = sim.read("", 1500);
    for (auto at = frames.find("\x3F\xC0"); at != std::string::npos;
         at = frames.find("\x3F\xC0", at + 1)) {
        std::string call;
        for (std::size_t i = at - 7; i < at - 1; ++i)
            call += static_cast<char>(static_cast<unsigned char>(frames[i]) >> 1);
        heard.first.push_back(call);
    }
    const std::string printed = sim.output("never printed", 100);
    for (auto at = printed.find("ID: "); at != std::string::npos; at = printed.find("ID: ", at + 1))
        heard.second.push_back(printed.substr(at + 4, 2));
    return heard;
}
} // namespace

TEST(TncsimKiss, TheChannelLosesRepeatsAndReordersAsItsSeedSays) {
    const auto first = channelRun("5");
    EXPECT_EQ(channelRun("5"), first);
    EXPECT_NE(channelRun("6"), first);
    for (const auto& heard : {first.first, first.second}) {
        const std::set<std::string> distinct(heard.begin(), heard.end());
        EXPECT_LT(distinct.size(), 40u) << "some lost";
        EXPECT_GT(distinct.size(), 15u);
        EXPECT_LT(distinct.size(), heard.size()) << "some twice";
        EXPECT_FALSE(std::is_sorted(heard.begin(), heard.end())) << "some overtaken";
    }
}

TEST(TncsimKiss, HostileBytesAreSurvivedAndReportedOverTcp) {
    Sim sim({"--type", "KISS", "--kiss-tcp", "0", "--echo-own"},
            "1A raw C0 00 41 DB DC C0\n1A flood 2\n1A garbage 3000\n");
    ASSERT_NE(sim.where.rfind("127.0.0.1:", 0), std::string::npos) << sim.printed;
    sim.write("KISS ON\r"); // text for a TNC before KISS starts
    EXPECT_EQ(sim.read("\xDC\xC0"), std::string("\xC0\x00\x41\xDB\xDC\xC0", 6));
    // Two callers' SABM: the node takes one and is busy for the other.
    const std::string caller = "\x8C\x98\x60\x60\x60";
    EXPECT_EQ(sim.read(caller + "\x62\x61\x3F\xC0"),
              kiss(kNode + "\xE0" + caller + "\x60\x61\x3F") +
                  kiss(kNode + "\xE0" + caller + "\x62\x61\x3F"));
    const std::string garbage = sim.read("", 500);
    EXPECT_EQ(garbage.size(), 3000u);
    EXPECT_EQ(garbage.find('\xC0'), std::string::npos);
    sim.write(kiss(caller + "\x60\x60" + kNode + "\xE1\x73") +
              kiss(caller + "\x62\x60" + kNode + "\xE1\x1F"));
    EXPECT_NE(sim.output("FL0001 DM").find("tnc: flood FL0000 UA"), std::string::npos);
    sim.read("\x1F\xC0"); // the answers, echoed

    const std::string ui = kiss(kId + "\xE0" + kNode +
                                "\x61\x03\xF0"
                                "N0CALL");
    sim.write(kTxDelay30 + std::string("\xC0\x02\x3F\xC0\xC0\x03\x0A\xC0", 8) +
              std::string("\xC0\x04\x03\xC0\xC0\x05\x00\xC0\xC0\x06\x01\x02\xC0", 13) +
              "\xC0\x01\xC0"                                // TXDELAY without a value
              + "\xC0\x50\x01\xC0"                          // KISS port 5
              + std::string("\xC0\x00\xDB\x41\xC0", 5)      // a bad escape
              + "\xC0" + std::string(3000, '\x41') + "\xC0" // too long
              + std::string("\xC0\x00\x9C\x60\x86\xC0", 6)  // ends inside its addresses
              + "\xC0\xFF\xC0text for a TNC" + ui);
    EXPECT_EQ(sim.read(ui), "\xC0\x00\x9C\x60\x86\xC0"s + ui) << "echoed as some radios do";
    const std::string printed = sim.output("UI N0CALL>ID: N0CALL");
    for (const char* line :
         {"kiss param TXDELAY 30 port 0", "kiss param PERSIST 63 port 0",
          "kiss param SLOTTIME 10 port 0", "kiss param TXTAIL 3 port 0",
          "kiss param FULLDUP 0 port 0", "kiss param SETHW 01 02 port 0",
          "error: KISS TXDELAY with 0 bytes", "error: data frame for KISS port 5",
          "error: KISS frame with a bad escape", "error: KISS frame over 2048 bytes",
          "error: frame from the node: frame ends inside its addresses",
          "tnc: kiss leave KISS mode\ntnc: kiss UI N0CALL>ID: N0CALL"})
        EXPECT_NE(printed.find(line), std::string::npos) << line << "\n" << printed;

    // The node goes and comes back: the new connection is served.
    ::close(sim.fd);
    sim.open();
    sim.write("\xC0\x11\x28\xC0");
    EXPECT_NE(sim.output("TXDELAY 40").find("tnc: kiss client left"), std::string::npos);
    sim.process.terminate();
    ASSERT_TRUE(sim.process.waitForFinished(3000));
    EXPECT_EQ(sim.process.exitCode(), 3);
    EXPECT_NE(sim.output("done").find("tncsim done, failures 5"), std::string::npos) << sim.printed;
}
