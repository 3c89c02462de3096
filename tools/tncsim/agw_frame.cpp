// AGW frames built and taken apart.
#include "agw_frame.h"

namespace tncsim {
namespace {
constexpr std::size_t kHeader = 36;

std::string callField(const std::string& call) {
    std::string out = call.substr(0, 9);
    out.resize(10, '\0');
    return out;
}

std::string callAt(const std::string& frame, std::size_t at) {
    const std::string field = frame.substr(at, 10);
    return field.substr(0, field.find('\0'));
}
} // namespace

void appendU32(std::string& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string agwFrame(int port, char kind, const std::string& from, const std::string& to,
                     const std::string& data) {
    std::string frame(1, static_cast<char>(port));
    frame.append(3, '\0');
    frame += kind;
    frame += '\0';
    frame += kind == 'D' ? '\xF0' : '\0';
    frame += '\0';
    frame += callField(from) + callField(to);
    appendU32(frame, static_cast<std::uint32_t>(data.size()));
    appendU32(frame, 0);
    return frame + data;
}

std::optional<AgwFrame> takeAgwFrame(std::string& buffer, bool& oversized) {
    oversized = false;
    if (buffer.size() < kHeader) return std::nullopt;
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i)
        length = (length << 8) | static_cast<unsigned char>(buffer[28 + i]);
    if (length > kAgwMaxData) {
        oversized = true;
        return std::nullopt;
    }
    if (buffer.size() < kHeader + length) return std::nullopt;
    AgwFrame frame{static_cast<unsigned char>(buffer[0]), buffer[4], callAt(buffer, 8),
                   callAt(buffer, 18), buffer.substr(kHeader, length)};
    buffer.erase(0, kHeader + length);
    return frame;
}

} // namespace tncsim
