// Host-mode framing: frames cut from text given in pieces of any size, escaping both ways.
#include "tnc/host_frame_codec.h"

#include <gtest/gtest.h>
#include <random>

using namespace gw;

namespace {
std::string F(std::string_view body) {
    return std::string(1, kFend) + std::string(body) + kFend;
}

std::vector<std::string> decodeInChunks(const std::string& line, std::mt19937& random) {
    std::vector<std::string> bodies;
    HostFrameDecoder decoder([&](const std::string& body) { bodies.push_back(body); });
    std::uniform_int_distribution<std::size_t> size(1, 17);
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t n = std::min(size(random), line.size() - at);
        decoder.feed(std::string_view(line).substr(at, n));
        at += n;
    }
    return bodies;
}
} // namespace

TEST(HostFrameCodec, EscapesFescBeforeFend) {
    EXPECT_EQ(hostEscape("A\xC0"
                         "B"),
              "A\xDB\xDC"
              "B");
    EXPECT_EQ(hostEscape("\xDB"), "\xDB\xDD");
    EXPECT_EQ(hostEscape("\xDB\xC0"), "\xDB\xDD\xDB\xDC");
    EXPECT_EQ(hostFrame("D1A", "x\xC0"), "\xC0"
                                         "D1Ax\xDB\xDC\xC0");
}

TEST(HostFrameCodec, UnescapesWhatTheTncEscaped) {
    for (const std::string body : {"plain", "\xC0", "\xDB", "\xDB\xC0\xDB\xDB\xC0", "\xDC\xDD"})
        EXPECT_EQ(hostUnescape(hostEscape(body)), body);
    EXPECT_EQ(hostUnescape("a\xDB"
                           "b"),
              "a\xDB"
              "b")
        << "a stray escape stays as it came";
}

TEST(HostFrameCodec, FrameSplitAcrossTwoReadsArrivesAfterTheSecond) {
    std::vector<std::string> bodies;
    HostFrameDecoder decoder([&](const std::string& body) { bodies.push_back(body); });
    decoder.feed("\xC0"
                 "D1Ahel");
    EXPECT_TRUE(bodies.empty());
    decoder.feed("lo\r\xC0");
    EXPECT_EQ(bodies, std::vector<std::string>{"D1Ahello\r"});
}

TEST(HostFrameCodec, TwoFramesInOneReadInOrderAndTextBeforeDropped) {
    std::vector<std::string> bodies;
    HostFrameDecoder decoder([&](const std::string& body) { bodies.push_back(body); });
    decoder.feed("INTFACE was TERMINAL\r\ncmd:" + F("S1A*** CONNECTED to N0CALL") + F("D1Ahi\r"));
    EXPECT_EQ(bodies, (std::vector<std::string>{"S1A*** CONNECTED to N0CALL", "D1Ahi\r"}));
}

TEST(HostFrameCodec, DoubleFendDoesNotShiftLaterFrames) {
    std::vector<std::string> bodies;
    HostFrameDecoder decoder([&](const std::string& body) { bodies.push_back(body); });
    decoder.feed("\xC0\xC0S00\xC0");
    decoder.feed(F("D1Ahi"));
    decoder.feed(F("S1A*** DISCONNECTED"));
    EXPECT_EQ(bodies, (std::vector<std::string>{"S00", "D1Ahi", "S1A*** DISCONNECTED"}));
}

TEST(HostFrameCodec, RandomChunkingGivesTheSameFrames) {
    std::mt19937 random(20261207);
    std::vector<std::string> sent;
    std::string line = "noise before";
    std::uniform_int_distribution<int> byte(0, 255), length(0, 300);
    for (int i = 0; i < 200; ++i) {
        std::string body = i % 3 == 0 ? "S1B*** CONNECTED to N" + std::to_string(i) : "D2C";
        for (int n = length(random); n > 0; --n)
            body += static_cast<char>(byte(random));
        sent.push_back(body);
        line += hostFrame("", body);
        if (i % 7 == 0) line += "\xC0"; // a TNC's doubled FEND between frames
    }
    for (int round = 0; round < 5; ++round)
        EXPECT_EQ(decodeInChunks(line, random), sent);
}

TEST(HostFrameCodec, NoiseBetweenFramesLosesNoFrameAndInventsNone) {
    std::mt19937 random(4242);
    // Line noise as a real serial line brings it: frame ends, escapes, line ends, stars.
    const std::string noiseBytes = "\xC0\xC0\xDB\xDC\xDD\r\n* \x80\xFF";
    std::uniform_int_distribution<std::size_t> pick(0, noiseBytes.size() - 1), count(0, 6);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 40);
    std::vector<std::string> sent;
    std::string line;
    for (int i = 0; i < 300; ++i) {
        for (std::size_t n = count(random); n > 0; --n)
            line += noiseBytes[pick(random)];
        std::string body = i % 4 == 0 ? "S1A*** CONNECTED to N" + std::to_string(i) : "D1B";
        for (int n = length(random); n > 0; --n)
            body += static_cast<char>(byte(random));
        sent.push_back(body);
        line += hostFrame("", body);
    }
    line += "\xC0";
    for (int round = 0; round < 5; ++round)
        EXPECT_EQ(decodeInChunks(line, random), sent);
    // The cases that once cost the next frame: text after a doubled FEND, a lone FEND.
    std::vector<std::string> bodies;
    HostFrameDecoder decoder([&](const std::string& body) { bodies.push_back(body); });
    decoder.feed("\xC0\xC0S00\xC0junk\r\n*\xC0S1A*** CONNECTED to N0CALL\xC0");
    decoder.feed("\xC0x\xC0" + F("D1Ahi\r"));
    EXPECT_EQ(bodies, (std::vector<std::string>{"S00", "S1A*** CONNECTED to N0CALL", "D1Ahi\r"}));
}

TEST(HostFrameCodec, RunawayPartialFrameIsBounded) {
    std::vector<std::string> bodies;
    HostFrameDecoder decoder([&](const std::string& body) { bodies.push_back(body); });
    const std::string junk(1000, 'x');
    decoder.feed("\xC0");
    for (int i = 0; i < 200; ++i)
        decoder.feed(junk);
    EXPECT_LE(decoder.pending(), HostFrameDecoder::kMaxPending);
    for (int i = 0; i < 200; ++i)
        decoder.feed(junk); // no FEND at all
    EXPECT_LE(decoder.pending(), HostFrameDecoder::kMaxPending);
    decoder.feed(F("D1Aafter"));
    EXPECT_EQ(bodies, std::vector<std::string>{"D1Aafter"});
}
