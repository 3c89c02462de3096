// The AGW interface's frame, for both ends tncsim plays: a 36-byte header (radio port, kind,
// PID, two calls, data length) and the data, built and taken off a byte stream.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tncsim {

struct AgwFrame {
    int port = 0;
    char kind = 0;
    std::string from;
    std::string to;
    std::string data;
};

// The largest data part taken from a peer; a header announcing more is a broken stream.
constexpr std::uint32_t kAgwMaxData = 64 * 1024;

std::string agwFrame(int port, char kind, const std::string& from, const std::string& to,
                     const std::string& data);
void appendU32(std::string& bytes, std::uint32_t value);

// Takes the first whole frame off `buffer`; nothing while it is incomplete. A header that
// announces more than kAgwMaxData bytes sets `oversized` and takes nothing.
std::optional<AgwFrame> takeAgwFrame(std::string& buffer, bool& oversized);

} // namespace tncsim
