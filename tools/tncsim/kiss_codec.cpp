// KISS frames built and taken off a byte stream.
#include "kiss_codec.h"

namespace tncsim {
namespace {
constexpr char kFend = '\xC0';
constexpr char kFesc = '\xDB';
constexpr char kTfend = '\xDC';
constexpr char kTfesc = '\xDD';
} // namespace

std::string escapeFend(std::string_view body) {
    std::string out;
    for (const char c : body) {
        if (c == kFend)
            out += "\xDB\xDC";
        else if (c == kFesc)
            out += "\xDB\xDD";
        else
            out += c;
    }
    return out;
}

std::string unescapeFend(std::string_view body) {
    std::string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == kFesc && i + 1 < body.size() && body[i + 1] == kTfend) {
            out += kFend;
            ++i;
        } else if (body[i] == kFesc && i + 1 < body.size() && body[i + 1] == kTfesc) {
            out += kFesc;
            ++i;
        } else {
            out += body[i];
        }
    }
    return out;
}

std::string kissFrame(int port, int command, std::string_view payload) {
    std::string out(1, kFend);
    out += escapeFend(std::string(1, static_cast<char>((port << 4) | (command & 0x0F))));
    out += escapeFend(payload);
    out += kFend;
    return out;
}

void KissDecoder::reset() {
    m_inFrame = false;
    m_escaped = false;
    m_badEscape = false;
    m_tooLong = false;
    m_buffer.clear();
}

void KissDecoder::feed(std::string_view bytes, std::vector<Frame>& frames,
                       std::vector<std::string>& problems) {
    for (const char c : bytes) {
        if (c == kFend) {
            if (m_tooLong)
                problems.push_back("frame over " + std::to_string(m_max) + " bytes thrown away");
            else if (m_badEscape)
                problems.push_back("frame with a bad escape thrown away");
            else if (!m_buffer.empty())
                frames.push_back({static_cast<unsigned char>(m_buffer[0]), m_buffer.substr(1)});
            // After the leave-KISS frame the line carries text until the next FEND.
            const bool left = m_buffer == "\xFF";
            reset();
            m_inFrame = !left;
            continue;
        }
        if (!m_inFrame || m_tooLong) continue;
        if (m_escaped) {
            m_escaped = false;
            if (c == kTfend || c == kTfesc)
                m_buffer += c == kTfend ? kFend : kFesc;
            else
                m_badEscape = true;
        } else if (c == kFesc) {
            m_escaped = true;
            continue;
        } else {
            m_buffer += c;
        }
        // The type byte comes on top of the payload.
        if (m_buffer.size() > m_max + 1) {
            m_tooLong = true;
            m_buffer.clear();
        }
    }
}

} // namespace tncsim
