// The socket layer's pure parts: the checksum, error numbers and their texts, stub entries.
#include "fake_net.h"
#include "ping/checksum.h"
#include "ping/echolite.h"
#include "ping/pinglib.h"
#include "ping/posix_socket_library.h"
#include "ping/winsock.h"
#include "ping/winsock_errors.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>
#include <random>

namespace pingtest {
namespace {

TEST(InternetChecksum, MatchesAnIndependentSumForOddAndEvenLengths) {
    std::mt19937 random(7);
    for (size_t length : {1u, 2u, 3u, 8u, 63u, 64u, 2052u}) {
        std::vector<uint8_t> bytes(length);
        for (auto& b : bytes)
            b = uint8_t(random());
        EXPECT_EQ(ping::internetChecksum(bytes.data(), bytes.size()), referenceChecksum(bytes))
            << length;
    }
    // RFC 1071's worked example: 00 01 f2 03 f4 f5 f6 f7 sums to ddf2.
    const uint8_t sample[] = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
    EXPECT_EQ(ping::internetChecksum(sample, sizeof sample), uint16_t(~0xddf2));
}

TEST(WinsockErrors, FromErrnoAndResolver) {
    EXPECT_EQ(ping::winsockErrorFromErrno(EACCES), 10013);
    EXPECT_EQ(ping::winsockErrorFromErrno(EPERM), 10013);
    EXPECT_EQ(ping::winsockErrorFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(ping::winsockErrorFromErrno(ENOTSOCK), 10038);
    EXPECT_EQ(ping::winsockErrorFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(ping::winsockErrorFromErrno(ENETUNREACH), 10051);
    EXPECT_EQ(ping::winsockErrorFromResolver(EAI_NONAME, 0), 11001);
    EXPECT_EQ(ping::winsockErrorFromResolver(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(ping::winsockErrorFromResolver(EAI_FAIL, 0), 11003);
    EXPECT_EQ(ping::winsockErrorFromResolver(EAI_NODATA, 0), 11004);
    EXPECT_EQ(ping::winsockErrorFromResolver(EAI_SYSTEM, EMFILE), 10024);
}

TEST(WinsockErrors, TextsOfTheTable) {
    EXPECT_EQ(ping::winsockErrorText(10013), "[10013] Access denied");
    EXPECT_EQ(ping::winsockErrorText(10066), "[10066] Directory not empt");
    EXPECT_EQ(ping::winsockErrorText(11002),
              "[11002] Non-authoritative 'Host not found' (try again or check DNS setup)");
    EXPECT_EQ(ping::winsockErrorText(10001), "[10001] (no description available)");
    EXPECT_EQ(ping::winsockErrorText(65536 + 10013), "[10013] Access denied")
        << "the code is shown as unsigned 16-bit";
    int rows = 0;
    for (int code = 10000; code < 11100; ++code)
        rows += !ping::winsockErrorName(code).empty();
    EXPECT_EQ(rows, 50);
}

TEST(WinsockApi, StubsFailAsAnUnloadedLibraryDoes) {
    const auto stubs = ping::WinsockApi::stubs();
    EXPECT_EQ(stubs.socket(2, 3, 1), -1);
    EXPECT_EQ(stubs.gethostbyname("x"), nullptr);
    EXPECT_EQ(stubs.inet_ntoa(0), nullptr);
    EXPECT_EQ(stubs.WSAGetLastError(), 10093);
    ping::WsaData data;
    EXPECT_EQ(stubs.WSAStartup(0x0101, &data), 10091);
}

TEST(WinsockApi, TableHoldsEveryOrdinalLoadedOrNot) {
    std::vector<int> ordinals;
    for (int n = 1; n <= 23; ++n)
        ordinals.push_back(n);
    for (int n = 51; n <= 57; ++n)
        ordinals.push_back(n);
    for (int n = 101; n <= 116; ++n)
        ordinals.push_back(n);
    ordinals.push_back(151);
    const auto stubs = ping::WinsockApi::stubs();
    ping::PosixSocketLibrary library;
    auto loaded = stubs;
    for (int n : ordinals) {
        EXPECT_TRUE(stubs.has(n)) << n;
        EXPECT_TRUE(library.resolve(n, loaded)) << n;
        EXPECT_TRUE(loaded.has(n)) << n;
    }
    EXPECT_FALSE(library.resolve(24, loaded));
    EXPECT_EQ(loaded.others.at(ping::ordinal::select)(), -1);
    EXPECT_EQ(loaded.WSAGetLastError(), 10045) << "not supported on the echo library";
}

TEST(Echolite, UnreachableTexts) {
    EXPECT_EQ(ping::Echolite::unreachableText(0), "Network unreachable.");
    EXPECT_EQ(ping::Echolite::unreachableText(3), "Port unreachable.");
    EXPECT_EQ(ping::Echolite::unreachableText(12), "Host unreachable for this type of service.");
    EXPECT_EQ(ping::Echolite::unreachableText(13), "Destination unreachable: 13.");
    EXPECT_EQ(ping::Echolite::unreachableText(-1), "Destination unreachable: -1.");
}

TEST(GuidText, RoundTripsAndRejectsMalformedText) {
    const std::string text = pinglib::CLSID_Ping.toString();
    EXPECT_EQ(text, "{3CE07083-A69E-471D-95DE-BE6B0AD208AA}");
    EXPECT_EQ(automation::Guid::parse(text), pinglib::CLSID_Ping);
    EXPECT_EQ(automation::Guid::parse("{3ce07083-a69e-471d-95de-be6b0ad208aa}"),
              pinglib::CLSID_Ping);
    EXPECT_FALSE(automation::Guid::parse("3CE07083-A69E-471D-95DE-BE6B0AD208AA"));
    EXPECT_FALSE(automation::Guid::parse("{3CE07083-A69E-471D-95DE+BE6B0AD208AA}"));
    EXPECT_FALSE(automation::Guid::parse("{3CE07083-A69E-471D-95DE-BE6B0AD208AG}"));
}

} // namespace
} // namespace pingtest
