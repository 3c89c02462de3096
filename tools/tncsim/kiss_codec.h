// KISS framing as the simulated KISS modem sees it: FEND-delimited frames, FESC escapes, a type
// byte of port and command. The escape rule is also the Kantronics host mode's.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tncsim {

// C0 as DB DC, DB as DB DD.
std::string escapeFend(std::string_view body);
// The reverse, keeping a lone FESC as it is.
std::string unescapeFend(std::string_view body);
// FEND, type byte (port in the high nibble, command in the low), escaped payload, FEND.
std::string kissFrame(int port, int command, std::string_view payload);

class KissDecoder {
  public:
    struct Frame {
        int type = 0; // the type byte as sent: 0xFF leaves KISS
        std::string payload;
    };
    explicit KissDecoder(std::size_t maxPayload) : m_max(maxPayload) {}

    // Takes bytes off the line; whole frames go to `frames`, the reason a frame was thrown away
    // to `problems`. Bytes before the first FEND, or after the leave-KISS frame, are not a frame
    // (a TNC's command text).
    void feed(std::string_view bytes, std::vector<Frame>& frames,
              std::vector<std::string>& problems);
    void reset();

  private:
    std::size_t m_max;
    bool m_inFrame = false;
    bool m_escaped = false;
    bool m_badEscape = false;
    bool m_tooLong = false;
    std::string m_buffer;
};

} // namespace tncsim
