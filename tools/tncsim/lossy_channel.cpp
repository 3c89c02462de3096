// The lossy channel's fates and its queue of frames on their way.
#include "lossy_channel.h"

namespace tncsim {

LossyChannel::LossyChannel(const ChannelOptions& options, std::uint32_t direction)
    : m_options(options), m_random(options.seed * 2 + direction) {}

bool LossyChannel::draw(int share) {
    // The generator's raw output is the same everywhere, unlike the standard distributions.
    return static_cast<int>(m_random() % 10'000) < share;
}

LossyChannel::Fate LossyChannel::send(Frame frame, Clock::time_point now) {
    Fate fate;
    fate.dropped = draw(m_options.drop);
    fate.duplicated = draw(m_options.duplicate);
    fate.delayed = draw(m_options.delay);
    if (fate.dropped) return {true, false, false};
    const auto due = fate.delayed ? now + std::chrono::milliseconds(m_options.delayMs) : now;
    if (fate.duplicated) m_queue.emplace(due, frame);
    m_queue.emplace(due, std::move(frame));
    return fate;
}

std::vector<LossyChannel::Frame> LossyChannel::arrived(Clock::time_point now) {
    std::vector<Frame> out;
    while (!m_queue.empty() && m_queue.begin()->first <= now) {
        out.push_back(std::move(m_queue.begin()->second));
        m_queue.erase(m_queue.begin());
    }
    return out;
}

std::optional<Clock::time_point> LossyChannel::nextArrival() const {
    if (m_queue.empty()) return std::nullopt;
    return m_queue.begin()->first;
}

} // namespace tncsim
