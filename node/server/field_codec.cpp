// Escaping of field values in server request and reply lines.
#include "server/field_codec.h"

namespace gw {
namespace {
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (true) {
        const std::size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos) break;
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}
} // namespace

std::string EncodeField(std::string_view text) {
    return replaceAll(replaceAll(text, "\\", "\\0"), "|", "\\1");
}

std::string DecodeField(std::string_view text) {
    return replaceAll(replaceAll(text, "\\1", "|"), "\\0", "\\");
}

} // namespace gw
