// Kantronics host-mode frames on the serial line, both directions:
//   FEND type port stream body FEND        FEND = 0xC0
// Inside the body 0xC0 travels as FESC TFEND (DB DC) and 0xDB as FESC TFESC (DB DD); type,
// port and stream are plain characters. Text outside frames (the tail of a terminal-mode
// answer, line noise) is dropped. Every FEND may open a frame, the one that closed the last
// included, so a doubled FEND ("C0 C0 S00 C0") or noise between frames shifts nothing; a
// body without a valid header (type C, D or S, a port digit, a stream letter or "0") is
// noise and dropped, so noise costs at most the frame it damaged.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace gw {

inline constexpr char kFend = '\xC0';
inline constexpr char kFesc = '\xDB';
inline constexpr char kTfend = '\xDC';
inline constexpr char kTfesc = '\xDD';

// The body as it travels: FESC first, then FEND, so an escape is never escaped twice.
std::string hostEscape(std::string_view body);
// The body as it was sent; an FESC not followed by TFEND or TFESC is kept as it came.
std::string hostUnescape(std::string_view body);
// FEND header body FEND, with the body escaped.
std::string hostFrame(std::string_view header, std::string_view body);
// True when a received body starts with a header the node reads: "C", "D" or "S", a port
// digit, and a stream letter "A" to "Z" or "0".
bool validHostHeader(std::string_view body);

// Cuts frames out of received text given in pieces of any size.
class HostFrameDecoder {
  public:
    // A frame longer than this (from its opening FEND) is dropped, whatever the read sizes.
    static constexpr std::size_t kMaxPending = 64 * 1024;
    using Sink = std::function<void(const std::string& body)>;

    explicit HostFrameDecoder(Sink sink) : m_sink(std::move(sink)) {}
    // Hands the body (unescaped) of every complete frame with a valid header to the sink, in
    // order. Frames the TNC sends besides C, D and S (monitor, trace) are dropped with noise.
    void feed(std::string_view text);
    void clear() { m_pending.clear(); }
    std::size_t pending() const { return m_pending.size(); }

  private:
    Sink m_sink;
    std::string m_pending;
};

} // namespace gw
