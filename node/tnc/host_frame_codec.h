// Kantronics host-mode frames on the serial line, both directions:
//   FEND type port stream body FEND        FEND = 0xC0
// Inside the body 0xC0 travels as FESC TFEND (DB DC) and 0xDB as FESC TFESC (DB DD); type,
// port and stream are plain characters. Text outside frames (the tail of a terminal-mode
// answer, line noise) is dropped. Two FENDs in a row are an empty frame; the second one
// opens the next frame, so a TNC's "C0 C0 S00 C0" does not shift every later frame.
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

// Cuts frames out of received text given in pieces of any size.
class HostFrameDecoder {
  public:
    // A partial frame that grows past this without its closing FEND is dropped.
    static constexpr std::size_t kMaxPending = 64 * 1024;
    using Sink = std::function<void(const std::string& body)>;

    explicit HostFrameDecoder(Sink sink) : m_sink(std::move(sink)) {}
    // Hands every complete, non-empty frame body (unescaped) to the sink, in order.
    void feed(std::string_view text);
    void clear() { m_pending.clear(); }
    std::size_t pending() const { return m_pending.size(); }

  private:
    Sink m_sink;
    std::string m_pending;
};

} // namespace gw
