// KISS framing and escaping.
#include "tnc/kiss_codec.h"

#include <vector>

namespace gw {
namespace {
constexpr char kFend = '\xC0';
constexpr char kFesc = '\xDB';
constexpr char kTfend = '\xDC';
constexpr char kTfesc = '\xDD';
} // namespace

std::string kissFrame(int port, KissCommand command, std::string_view data) {
    std::string frame;
    frame.reserve(data.size() + 8);
    frame += kFend;
    const auto escaped = [&frame](char c) {
        if (c == kFend) {
            frame += kFesc;
            frame += kTfend;
        } else if (c == kFesc) {
            frame += kFesc;
            frame += kTfesc;
        } else {
            frame += c;
        }
    };
    // The type byte is escaped like the data: port 12 with command 0 is 0xC0 itself.
    escaped(static_cast<char>(((port & 0x0F) << 4) | static_cast<int>(command)));
    for (const char c : data)
        escaped(c);
    frame += kFend;
    return frame;
}

std::string kissExitFrame() {
    return std::string{kFend, '\xFF', kFend};
}

void KissDecoder::clear() {
    m_frame.clear();
    m_open = m_escape = m_spoiled = false;
}

void KissDecoder::endFrame(std::vector<std::pair<int, std::string>>& done) {
    if (m_escape) m_spoiled = true;
    if (m_spoiled) {
        ++m_refused;
    } else if (m_frame.size() > 1) {
        const auto type = static_cast<unsigned char>(m_frame[0]);
        if ((type & 0x0F) == static_cast<int>(KissCommand::Data))
            done.emplace_back(type >> 4, m_frame.substr(1));
    }
    m_frame.clear();
    m_escape = m_spoiled = false;
}

void KissDecoder::feed(std::string_view bytes) {
    std::vector<std::pair<int, std::string>> done;
    for (const char c : bytes) {
        if (c == kFend) {
            if (m_open) endFrame(done);
            m_open = true;
            continue;
        }
        if (!m_open || m_spoiled) continue;
        char byte = c;
        if (m_escape) {
            m_escape = false;
            if (c != kTfend && c != kTfesc) {
                m_spoiled = true;
                continue;
            }
            byte = c == kTfend ? kFend : kFesc;
        } else if (c == kFesc) {
            m_escape = true;
            continue;
        }
        // The type byte and kMaxFrame bytes of AX.25 frame at most.
        if (m_frame.size() > kMaxFrame) {
            m_spoiled = true;
            m_frame.clear();
            continue;
        }
        m_frame += byte;
    }
    for (const auto& [port, frame] : done)
        m_sink(port, frame);
}

} // namespace gw
