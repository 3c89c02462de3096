// The node's one random source.
#include "server/random_source.h"

#include <cstdint>
#include <mutex>
#include <random>

namespace gw {
namespace {
std::uint64_t nextBits() {
    static std::mutex guard;
    static std::mt19937_64 engine = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    const std::lock_guard lock(guard);
    return engine();
}
} // namespace

// Built from the top bits so the result can never round up to 1.
float randomFraction() {
    return static_cast<float>(nextBits() >> 40) * 0x1.0p-24f;
}

double randomFractionDouble() {
    return static_cast<double>(nextBits() >> 11) * 0x1.0p-53;
}

} // namespace gw
