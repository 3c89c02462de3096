// The AX.25 frame codec against frames written out byte by byte from the protocol's layout,
// and its refusal of every malformed frame.
#include "ax25/frame.h"
#include "ax25/xid.h"

#include <gtest/gtest.h>

using namespace gw::ax25;

namespace {
// N0NODE (C=1) <- N1USR-3 (C=0), the address field of a command with no digipeater.
const std::string kCommandTo = "\x9C\x60\x9C\x9E\x88\x8A\xE0"
                               "\x9C\x62\xAA\xA6\xA4\x40\x67";
// The same stations, as a response: destination C=0, source C=1, through RELAY (H=1).
const std::string kResponseVia = std::string("\x9C\x60\x9C\x9E\x88\x8A\x60"
                                             "\x9C\x62\xAA\xA6\xA4\x40\xE6"
                                             "\xA4\x8A\x98\x82\xB2\x40\xE1");
} // namespace

TEST(Ax25Frame, ReadsAddressesCommandBitsAndControlFields) {
    const std::string sabm = kCommandTo + "\x3F";
    auto frame = decodeFrame(sabm, false);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->destination.text(), "N0NODE");
    EXPECT_EQ(frame->source.text(), "N1USR-3");
    EXPECT_TRUE(frame->command());
    EXPECT_EQ(frame->control.type, FrameType::SABM);
    EXPECT_TRUE(frame->control.pollFinal);
    EXPECT_EQ(encodeFrame(*frame, false), sabm);
    // Both C bits set: a version 1 station, taken as a command.
    EXPECT_TRUE(decodeFrame(kCommandTo.substr(0, 13) + "\xE7\x3F", false)->command());

    // I frame modulo 8: N(R)=2, P=0, N(S)=5, PID F0, through one repeated digipeater.
    const std::string info = kResponseVia + "\x4A\xF0hi";
    frame = decodeFrame(info, false);
    ASSERT_TRUE(frame);
    EXPECT_FALSE(frame->command());
    ASSERT_EQ(frame->digipeaters.size(), 1u);
    EXPECT_EQ(frame->digipeaters[0].text(), "RELAY");
    EXPECT_TRUE(frame->digipeaters[0].flag);
    EXPECT_EQ(frame->control.type, FrameType::I);
    EXPECT_EQ(frame->control.nr, 2);
    EXPECT_EQ(frame->control.ns, 5);
    EXPECT_EQ(frame->control.info, "hi");
    EXPECT_EQ(encodeFrame(*frame, false), info);

    // RR response F=1 N(R)=3, modulo 8.
    frame = decodeFrame(kResponseVia + "\x71", false);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->control.type, FrameType::RR);
    EXPECT_EQ(frame->control.nr, 3);
    EXPECT_TRUE(frame->control.pollFinal);

    // Modulo 128: I frame N(S)=100, N(R)=77, P=1; SREJ N(R)=90 F=0; U frames keep one byte.
    const std::string wide = kCommandTo + "\xC8\x9B\xF0x";
    frame = decodeFrame(wide, true);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->control.ns, 100);
    EXPECT_EQ(frame->control.nr, 77);
    EXPECT_TRUE(frame->control.pollFinal);
    EXPECT_EQ(encodeFrame(*frame, true), wide);
    frame = decodeFrame(kCommandTo + "\x0D\xB4", true);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->control.type, FrameType::SREJ);
    EXPECT_EQ(frame->control.nr, 90);
    frame = decodeFrame(kCommandTo + "\x6F", true);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->control.type, FrameType::SABME);
}

TEST(Ax25Frame, RefusesMalformedFrames) {
    const std::string source = "\x9C\x62\xAA\xA6\xA4\x40";
    const std::string dest = "\x9C\x60\x9C\x9E\x88\x8A\xE0";
    std::string noEnd;
    for (int i = 0; i < 10; ++i)
        noEnd += source + "\x66";
    std::string nineDigis = dest + source + "\x66";
    for (int i = 0; i < 9; ++i)
        nineDigis += source + (i == 8 ? "\xE7" : "\xE6");
    const std::string bad[] = {
        kCommandTo.substr(0, 13), // short
        kCommandTo,               // no control
        noEnd + "\x3F",           // no E bit
        nineDigis + "\x3F",       // nine digipeaters
        std::string("\x9C\x60\xDC\x9E\x88\x8A\xE0") + kCommandTo.substr(7) + "\x3F", // 'n'
        std::string("\x9C\x40\x9C\x9E\x88\x8A\xE0") + kCommandTo.substr(7) + "\x3F", // inner blank
        std::string("\x9C\x61\x9C\x9E\x88\x8A\xE0") + kCommandTo.substr(7) + "\x3F", // E in a char
        std::string("\x40\x40\x40\x40\x40\x40\xE0") + kCommandTo.substr(7) + "\x3F", // blank call
        std::string("\x9C\x60\x9C\x9E\x88\x8A\xE1") + kCommandTo.substr(7) +
            "\x3F",           // only a destination
        kCommandTo + "\x4A",  // I frame without PID
        kCommandTo + "\x03",  // UI without PID
        kCommandTo + "\x27",  // undefined U control
        kCommandTo + "\x41x", // RR with information
        kCommandTo + "\x3Fx", // SABM with information
    };
    for (const std::string& bytes : bad)
        EXPECT_FALSE(decodeFrame(bytes, false)) << testing::PrintToString(bytes);
    EXPECT_FALSE(decodeFrame(kCommandTo + "\x21\x02", true)); // modulo 128 S with high bits
    EXPECT_FALSE(decodeFrame(kCommandTo + "\x01", true));     // modulo 128 S, one byte
}

TEST(Ax25Frame, ParsesCallSignText) {
    EXPECT_EQ(Address::parse("n0call-7")->text(), "N0CALL-7");
    EXPECT_EQ(Address::parse("N0CALL-0")->text(), "N0CALL");
    for (const char* bad : {"", "N0CALL-16", "TOOLONG", "AB-", "A B", "N0CALL-7X", "N0-CALL-1"})
        EXPECT_FALSE(Address::parse(bad)) << bad;
}

TEST(Ax25Frame, ReadsAnXidOfferAndWritesTheAnswer) {
    // Modulo 128, REJ + SREJ + multi-SREJ offered, I field 256 bytes, window 32, T1, N2.
    const std::string offer("\x82\x80\x00\x17"
                            "\x02\x02\x21\x00"
                            "\x03\x03\x86\xA8\x22"
                            "\x06\x02\x08\x00"
                            "\x08\x01\x20"
                            "\x09\x02\x0B\xB8"
                            "\x0A\x01\x0A",
                            27);
    const auto parsed = parseXid(offer);
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->modulo128);
    EXPECT_TRUE(parsed->selectiveReject);
    EXPECT_EQ(parsed->infoLength, 256);
    EXPECT_EQ(parsed->window, 32);
    EXPECT_FALSE(parseXid(offer.substr(0, 20)));
    EXPECT_FALSE(parseXid("\x82\x80\x00\x02\x06\x09")); // parameter longer than the group

    XidParameters answer{false, false, 128, 4};
    EXPECT_EQ(encodeXid(answer), std::string("\x82\x80\x00\x10"
                                             "\x02\x02\x21\x00"
                                             "\x03\x03\x82\xA4\x42"
                                             "\x06\x02\x04\x00"
                                             "\x08\x01\x04",
                                             20));
}
