// The AGW frame codec: frames between the node and a sound-card modem program's AGW TCP port,
// encoded, and cut out of the received byte stream with every header checked.
//
// Wire format, both ways: a 36-byte header, then DataLen bytes of data. Integers little-endian.
//   0  radio port, 0-based      1-3 zero      4 DataKind (ASCII letter)   5 zero
//   6  PID (0xF0 plain text)    7 zero        8-17 CallFrom   18-27 CallTo (ASCII, NUL-padded)
//   28 DataLen (32 bits)        32 reserved (32 bits)
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace gw {

struct AgwFrame {
    int port = 0; // the modem program's port, 0-based
    char kind = 0;
    std::uint8_t pid = 0;
    std::string callFrom;
    std::string callTo;
    std::string data;
};

std::string encodeAgwFrame(const AgwFrame& frame);

class AgwFrameReader {
  public:
    static constexpr std::size_t kHeaderSize = 36;
    static constexpr std::size_t kMaxData = 64 * 1024;

    using Sink = std::function<void(AgwFrame)>;
    explicit AgwFrameReader(Sink sink) : m_sink(std::move(sink)) {}

    // Hands every complete frame to the sink, taking it out of the buffer first. Returns false
    // at a header no AGW peer sends (the buffer is then cleared: the stream is out of step).
    bool feed(std::string_view bytes);
    void clear() { m_buffer.clear(); }

  private:
    Sink m_sink;
    std::string m_buffer;
};

} // namespace gw
