// The AGW frame codec.
#include "tnc/agw_frame.h"

#include <algorithm>
#include <cctype>

namespace gw {
namespace {
constexpr std::size_t kCallSize = 10;

void putCall(std::string& out, const std::string& call) {
    std::string field = call.substr(0, kCallSize - 1);
    field.resize(kCallSize, '\0');
    out += field;
}

std::string getCall(std::string_view field) {
    return std::string(field.substr(0, std::min(field.find('\0'), field.size())));
}

void putU32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t getU32(std::string_view at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(at[i]);
    return value;
}

bool isZero(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == '\0'; });
}

// Call fields hold printable text, then NULs only.
bool isCallField(std::string_view field) {
    const std::size_t end = std::min(field.find('\0'), field.size());
    const std::string_view text = field.substr(0, end);
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isgraph(static_cast<unsigned char>(c)) != 0; }) &&
           isZero(field.substr(end));
}
} // namespace

std::string encodeAgwFrame(const AgwFrame& frame) {
    std::string out;
    out.reserve(AgwFrameReader::kHeaderSize + frame.data.size());
    out += static_cast<char>(frame.port);
    out.append(3, '\0');
    out += frame.kind;
    out += '\0';
    out += static_cast<char>(frame.pid);
    out += '\0';
    putCall(out, frame.callFrom);
    putCall(out, frame.callTo);
    putU32(out, static_cast<std::uint32_t>(frame.data.size()));
    putU32(out, 0);
    out += frame.data;
    return out;
}

bool AgwFrameReader::feed(std::string_view bytes) {
    m_buffer.append(bytes);
    while (m_buffer.size() >= kHeaderSize) {
        const std::string_view header(m_buffer.data(), kHeaderSize);
        const std::uint32_t length = getU32(header.substr(28));
        const bool sound = isZero(header.substr(1, 3)) && header[5] == '\0' && header[7] == '\0' &&
                           std::isalpha(static_cast<unsigned char>(header[4])) != 0 &&
                           isCallField(header.substr(8, kCallSize)) &&
                           isCallField(header.substr(18, kCallSize)) && length <= kMaxData;
        if (!sound) {
            m_buffer.clear();
            return false;
        }
        if (m_buffer.size() < kHeaderSize + length) break;
        AgwFrame frame;
        frame.port = static_cast<unsigned char>(header[0]);
        frame.kind = header[4];
        frame.pid = static_cast<std::uint8_t>(header[6]);
        frame.callFrom = getCall(header.substr(8, kCallSize));
        frame.callTo = getCall(header.substr(18, kCallSize));
        frame.data = m_buffer.substr(kHeaderSize, length);
        m_buffer.erase(0, kHeaderSize + length);
        m_sink(std::move(frame));
    }
    return true;
}

} // namespace gw
