// Host-mode framing and escaping.
#include "tnc/host_frame_codec.h"

#include <vector>

namespace gw {

std::string hostEscape(std::string_view body) {
    std::string out;
    out.reserve(body.size() + 8);
    for (const char c : body) {
        if (c == kFesc) {
            out += kFesc;
            out += kTfesc;
        } else if (c == kFend) {
            out += kFesc;
            out += kTfend;
        } else {
            out += c;
        }
    }
    return out;
}

std::string hostUnescape(std::string_view body) {
    std::string out;
    out.reserve(body.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == kFesc && i + 1 < body.size() &&
            (body[i + 1] == kTfend || body[i + 1] == kTfesc)) {
            out += body[i + 1] == kTfend ? kFend : kFesc;
            ++i;
        } else {
            out += body[i];
        }
    }
    return out;
}

std::string hostFrame(std::string_view header, std::string_view body) {
    std::string frame(1, kFend);
    frame.append(header);
    frame += hostEscape(body);
    frame += kFend;
    return frame;
}

bool validHostHeader(std::string_view body) {
    if (body.size() < 3) return false;
    const char type = body[0], port = body[1], stream = body[2];
    return (type == 'C' || type == 'D' || type == 'S') && port >= '0' && port <= '9' &&
           ((stream >= 'A' && stream <= 'Z') || stream == '0');
}

void HostFrameDecoder::feed(std::string_view text) {
    m_pending.append(text);
    // Frames are taken out before any is handed on: a sink may feed the decoder again.
    std::vector<std::string> bodies;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t open = m_pending.find(kFend, pos);
        if (open == std::string::npos) {
            pos = m_pending.size(); // nothing here can start a frame
            break;
        }
        const std::size_t close = m_pending.find(kFend, open + 1);
        if (close == std::string::npos) {
            pos = open;
            break;
        }
        // The closing FEND stays: if this was noise, it is the opening FEND of a real frame.
        pos = close;
        // A frame past the bound is dropped in one read as it is when the reads are small.
        if (close - open > kMaxPending) continue;
        const std::string_view body =
            std::string_view(m_pending).substr(open + 1, close - open - 1);
        if (validHostHeader(body)) bodies.push_back(hostUnescape(body));
    }
    m_pending.erase(0, pos);
    if (m_pending.size() > kMaxPending) m_pending.clear();
    for (const std::string& body : bodies)
        m_sink(body);
}

} // namespace gw
