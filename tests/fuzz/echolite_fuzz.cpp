// Fuzzes the ping engine's receive path with hostile datagrams on a raw or datagram socket:
// the request ends within its timeout, an answer names the address it came from and a time
// inside the wait, and the socket is closed afterwards; ASan watches every read of a runt.
#include "../ping/fake_net.h"
#include "fuzz_support.h"
#include "ping/echolite.h"
#include "ping/winsock_state.h"

#include <algorithm>

using namespace pingtest;

namespace {
constexpr int32_t kTimeoutMs = 200;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::ensureApplication();
    gw::fuzz::InputReader input(data, size);
    const std::uint8_t mode = input.byte();
    const std::uint8_t patchAt = input.byte();
    std::vector<std::vector<uint8_t>> datagrams;
    while (!input.empty() && datagrams.size() < 8) {
        const std::string field = input.field();
        datagrams.emplace_back(field.begin(), field.end());
    }

    auto net = std::make_shared<FakeNet>();
    net->rawRefused = (mode & 1) != 0; // the unprivileged datagram socket instead
    auto& state = ping::WinsockState::instance();
    state.reset();
    state.registerLibrary("FAKESOCK.DLL",
                          [net] { return std::make_unique<FakeSocketLibrary>(net); });
    state.setPath("FAKESOCK.DLL");
    FakeClock clock;
    FakePump pump(clock);
    std::vector<int16_t> errors;
    const uint32_t peer = address("10.1.2.3");
    const uint32_t stranger = address("192.0.2.7");
    {
        ping::Echolite engine(clock, pump,
                              [&](int16_t code, const std::string&) { errors.push_back(code); });
        engine.setTimeoutMs(kTimeoutMs);
        engine.setPacketSize(static_cast<uint16_t>(8 + (mode >> 2) * 4));
        net->onSend = [&](const Sent& sent) {
            pump.script = [&, sent](int step) {
                if (step != 1) return true;
                // A true answer with hostile bytes written over part of it, when asked for.
                if ((mode & 2) != 0 && !datagrams.empty()) {
                    std::vector<uint8_t> reply = echoReplyTo(sent.bytes);
                    if (!net->rawRefused) reply = withIpHeader(reply, peer, sent.address);
                    const std::size_t at = std::min<std::size_t>(patchAt, reply.size());
                    std::copy_n(datagrams[0].begin(),
                                std::min(datagrams[0].size(), reply.size() - at),
                                reply.begin() + static_cast<std::ptrdiff_t>(at));
                    datagrams[0] = reply;
                }
                for (std::size_t i = 0; i < datagrams.size(); ++i)
                    net->deliver(sent.socket, datagrams[i], i % 2 == 0 ? peer : stranger);
                return true;
            };
        };
        const uint32_t start = clock.now;
        const int result = engine.ping("10.1.2.3");
        FUZZ_CHECK(clock.now - start <= static_cast<uint32_t>(kTimeoutMs) + 1000,
                   "the request ends within its timeout");
        FUZZ_CHECK(engine.socket() < 0, "the socket is closed after the request");
        if (result == 0) {
            FUZZ_CHECK(!datagrams.empty(), "an answer needs a datagram");
            FUZZ_CHECK(engine.responseSource() == "10.1.2.3" ||
                           engine.responseSource() == "192.0.2.7",
                       "the answer names where it came from");
            FUZZ_CHECK(engine.responseTime() >= 0 && engine.responseTime() <= kTimeoutMs,
                       "the answer time lies inside the wait");
        } else {
            FUZZ_CHECK(engine.message().has_value(), "a failed request says why");
        }
        if (datagrams.empty()) FUZZ_CHECK(errors.empty(), "no datagram, no receive error");
    }
    state.reset();
    return 0;
}
