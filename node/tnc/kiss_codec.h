// KISS frames between the node and a KISS TNC, both directions:
//   FEND type data FEND                                  FEND = 0xC0
// type: high nibble the TNC port (0-15), low nibble the command: 0 data (an AX.25 frame
// without its FCS), 1 TXDELAY, 2 persistence, 3 slot time, 4 TX tail (times in 10 ms
// units), 5 full duplex, 6 set hardware; the type FF alone leaves KISS mode. Inside a
// frame 0xC0 travels as FESC TFEND (DB DC) and 0xDB as FESC TFESC (DB DD). Every FEND ends
// one frame and opens the next, so several in a row are one gap. Bytes before the first
// FEND (a TNC's text answers before KISS starts) are noise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gw {

enum class KissCommand : std::uint8_t {
    Data = 0,
    TxDelay = 1,
    Persistence = 2,
    SlotTime = 3,
    TxTail = 4,
    FullDuplex = 5,
};

// FEND type escaped-data FEND.
std::string kissFrame(int port, KissCommand command, std::string_view data);
// FEND FF FEND: the TNC leaves KISS mode.
std::string kissExitFrame();

// Cuts the data frames out of bytes received in pieces of any size.
class KissDecoder {
  public:
    // The longest frame taken (escapes undone); a longer one is dropped whole, however
    // long it runs, and costs no more memory than this.
    static constexpr std::size_t kMaxFrame = 4096;
    using Sink = std::function<void(int port, const std::string& frame)>;

    explicit KissDecoder(Sink sink) : m_sink(std::move(sink)) {}
    // Hands every complete data frame to the sink in order, with its TNC port. Frames of
    // other commands, empty frames, frames with a broken escape and overlong frames are
    // dropped. The frames of one call are cut before any is handed on, so a sink may feed
    // the decoder again.
    void feed(std::string_view bytes);
    // Forgets a partial frame and waits for the next FEND.
    void clear();
    // Frames dropped as broken or overlong since the start.
    std::uint64_t refused() const { return m_refused; }
    // Bytes of the partial frame held: its type byte and at most kMaxFrame more.
    std::size_t pending() const { return m_frame.size(); }

  private:
    void endFrame(std::vector<std::pair<int, std::string>>& done);

    Sink m_sink;
    std::string m_frame;
    bool m_open = false;    // a FEND was seen: bytes belong to a frame
    bool m_escape = false;  // the last byte was FESC
    bool m_spoiled = false; // the frame broke an escape or ran past kMaxFrame
    std::uint64_t m_refused = 0;
};

} // namespace gw
