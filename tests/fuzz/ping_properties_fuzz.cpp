// Fuzzes the ping control's reader of its saved properties: a hostile stream, storage or
// property bag either loads, and then the control saves what it holds and loads it back
// unchanged, or fails and leaves every property as it was.
#include "../ping/automation_doubles.h"
#include "../ping/fake_net.h"
#include "fuzz_support.h"
#include "ping/ping.h"
#include "ping/winsock_state.h"

using namespace pingtest;

namespace {
const char* const kNames[] = {"PacketSize", "QOSFlags", "Timeout", "WinsockLoaded"};

struct Values {
    int32_t packetSize = 0, qos = 0;
    int16_t timeout = 0;
    bool loaded = false;
    bool operator==(const Values&) const = default;
};

Values values(ping::Ping& control) {
    Values v;
    control.get_PacketSize(&v.packetSize);
    control.get_QOSFlags(&v.qos);
    control.get_Timeout(&v.timeout);
    control.get_WinsockLoaded(&v.loaded);
    return v;
}

Variant variant(gw::fuzz::InputReader& input) {
    const std::uint8_t type = input.byte();
    const auto b0 = input.byte(), b1 = input.byte(), b2 = input.byte(), b3 = input.byte();
    const auto word = static_cast<int32_t>(b0 | (b1 << 8) | (b2 << 16) | (uint32_t(b3) << 24));
    switch (type % 5) {
    case 0:
        return Variant::i2(static_cast<int16_t>(word));
    case 1:
        return Variant::i4(word);
    case 2:
        return Variant::boolean((word & 1) != 0);
    case 3:
        return Variant::text(input.field());
    default:
        return Variant();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::ensureApplication();
    gw::fuzz::InputReader input(data, size);
    const std::uint8_t mode = input.byte();

    auto net = std::make_shared<FakeNet>();
    auto& state = ping::WinsockState::instance();
    state.reset();
    state.registerLibrary("FAKESOCK.DLL",
                          [net] { return std::make_unique<FakeSocketLibrary>(net); });
    state.setPath("FAKESOCK.DLL");
    FakeClock clock;
    FakePump pump(clock);
    {
        ComPtr<ping::Ping> control = ping::Ping::create(clock, pump);
        control->put_PacketSize(300);
        control->put_QOSFlags(0x28);
        control->put_Timeout(3);
        control->put_WinsockLoaded(false);
        const Values before = values(*control.get());

        HResult loaded = S_OK;
        if (mode % 3 == 2) {
            PropertyBag bag;
            for (const char* name : kNames)
                if (input.byte() % 2 != 0) bag.values[name] = variant(input);
            loaded = control->load(&bag);
        } else {
            const std::string bytes = input.rest();
            MemoryStorage storage;
            auto& stream = storage.streams["Contents"];
            stream = std::make_unique<MemoryStream>();
            stream->bytes.assign(bytes.begin(), bytes.end());
            loaded = mode % 3 == 0 ? control->load(stream.get()) : control->load(&storage);
        }
        const Values after = values(*control.get());
        if (failed(loaded)) {
            FUZZ_CHECK(after == before, "a failed load leaves every property as it was");
        } else {
            FUZZ_CHECK(after.timeout >= 0, "a loaded timeout is not negative");
            MemoryStream saved;
            FUZZ_CHECK(control->save(&saved, true) == S_OK, "what loaded saves");
            ComPtr<ping::Ping> other = ping::Ping::create(clock, pump);
            FUZZ_CHECK(other->load(&saved) == S_OK, "what was saved loads");
            FUZZ_CHECK(values(*other.get()) == after, "and gives the same properties");
            PropertyBag bag;
            FUZZ_CHECK(control->save(&bag, true, true) == S_OK, "what loaded saves to a bag");
            ComPtr<ping::Ping> third = ping::Ping::create(clock, pump);
            FUZZ_CHECK(third->load(&bag) == S_OK && values(*third.get()) == after,
                       "and the bag gives the same properties");
        }
    }
    state.reset();
    return 0;
}
