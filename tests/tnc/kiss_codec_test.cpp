// The KISS codec: frames survive any cutting of the byte stream, escapes both ways, and
// garbage, broken escapes and endless frames cost only themselves.
#include "tnc/kiss_codec.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace gw;
using namespace std::string_literals;

namespace {

struct Decoded {
    std::vector<std::pair<int, std::string>> frames;
    KissDecoder decoder{
        [this](int port, const std::string& frame) { frames.emplace_back(port, frame); }};
};

TEST(KissCodec, FramesSurviveAnyChunkingWithEscapesAndPorts) {
    const std::string awkward = std::string("a\xC0") + "b\xDB" + "c\xDB\xDC\xC0";
    EXPECT_EQ(kissFrame(0, KissCommand::Data, "\xC0\xDB"), "\xC0\x00\xDB\xDC\xDB\xDD\xC0"s);
    // Port 12's data type byte is 0xC0 itself and travels escaped.
    EXPECT_EQ(kissFrame(12, KissCommand::Data, "x"), "\xC0\xDB\xDCx\xC0"s);
    EXPECT_EQ(kissFrame(1, KissCommand::TxDelay, "\x1E"), "\xC0\x11\x1E\xC0"s);
    EXPECT_EQ(kissExitFrame(), "\xC0\xFF\xC0"s);

    // Text before KISS, a doubled FEND, a timing frame the node ignores, three data frames.
    const std::string stream = "cmd:KISS ON\r\n" + kissFrame(0, KissCommand::Data, awkward) +
                               "\xC0" + kissFrame(1, KissCommand::TxDelay, "\x05") +
                               kissFrame(12, KissCommand::Data, std::string(3000, '\xC0')) +
                               kissFrame(1, KissCommand::Data, "last");
    std::mt19937 random(11);
    for (int round = 0; round < 30; ++round) {
        Decoded out;
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t n = std::uniform_int_distribution<std::size_t>(1, 300)(random);
            out.decoder.feed(std::string_view(stream).substr(at, n));
            at += n;
        }
        ASSERT_EQ(out.frames.size(), 3u);
        EXPECT_EQ(out.frames[0], std::make_pair(0, awkward));
        EXPECT_EQ(out.frames[1], std::make_pair(12, std::string(3000, '\xC0')));
        EXPECT_EQ(out.frames[2], std::make_pair(1, std::string("last")));
        EXPECT_EQ(out.decoder.refused(), 0u);
    }
}

TEST(KissCodec, BrokenAndEndlessFramesAreDroppedAndTheNextOneTaken) {
    Decoded out;
    // A broken escape, an escape cut by FEND, then a frame that never ends: megabytes fed in
    // small pieces keep nothing but the bounded frame.
    out.decoder.feed("\xC0\x00\xDB\x41\xC0\x00\xDB\xC0"s);
    const std::string endless = "\xC0\x00" + std::string(4096, 'x');
    out.decoder.feed(endless);
    for (int i = 0; i < 1000; ++i)
        out.decoder.feed(std::string(1000, 'y'));
    out.decoder.feed(kissFrame(0, KissCommand::Data, "after"));
    // The longest frame still taken.
    out.decoder.feed(kissFrame(0, KissCommand::Data, std::string(KissDecoder::kMaxFrame, 'z')));
    ASSERT_EQ(out.frames.size(), 2u);
    EXPECT_EQ(out.frames[0].second, "after");
    EXPECT_EQ(out.frames[1].second.size(), KissDecoder::kMaxFrame);
    EXPECT_EQ(out.decoder.refused(), 3u);
}

} // namespace
