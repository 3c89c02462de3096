// The table of connected radio streams: eleven entries, index 0 the sysop console's own,
// 1 to 10 the radio users. An entry is in use exactly while IdleMinutes is not 0.
#pragma once

#include "common/user_limit.h"

#include <QDateTime>
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace gw {

// What the user's next line is: a command, the subject of a message, or a line of its body.
enum class InputState { Command, Subject, Body };

struct StreamRecord {
    std::int32_t IdleMinutes = 0;
    std::int16_t Port = 0;
    std::string CallSign;
    std::vector<std::string> ListedMids{std::string()};
    InputState Input = InputState::Command;
    std::string Session;
    std::string Destination;
    std::string Subject;
    std::string Mid;
    std::string Body;
    std::string StreamID;
    // Which connection holds the entry: a new number at every opening, so a late server
    // reply can tell the user who asked from one who took the stream since.
    std::uint64_t Connection = 0;
    // The user was told his requests fill the queue; told once until one is taken again.
    bool ToldToWait = false;
    // The message being composed went past the body limit; it is refused at its end.
    bool BodyTooLong = false;
    // A Bye came while requests were on their way: the link drops once their replies have
    // gone out, or at ByeDeadline (the clock's elapsed time) at the latest.
    bool ByePending = false;
    std::chrono::milliseconds ByeDeadline{0};
    // For the status views: when the user connected, when his last data came and the last
    // command line he typed (no control characters, at most 40 characters; never a subject
    // or a line of a message).
    QDateTime ConnectedAt;
    QDateTime LastHeard;
    std::string LastCommand;

    bool inUse() const { return IdleMinutes != 0; }
    // Empties the text fields, the dialogue state and the times; ListedMids and Port are kept.
    void clearTexts();
};

class StreamTable {
  public:
    static constexpr int kEntries = kMaxUsers + 1;

    StreamRecord& operator[](int index) { return m_entries.at(static_cast<std::size_t>(index)); }
    const StreamRecord& operator[](int index) const {
        return m_entries.at(static_cast<std::size_t>(index));
    }
    static bool valid(int index) { return index >= 0 && index < kEntries; }

  private:
    std::array<StreamRecord, kEntries> m_entries{};
};

// Table index of a stream letter on a radio port: 0 for "0" or no letter (and whenever
// neither port is in use), -1 for a letter outside "A" to "J"; with both ports in use,
// port 2's streams follow port 1's `maxUsers1`.
int streamIndex(const std::string& sStreamID, int nPort, bool bPort1, bool bPort2, long maxUsers1);

} // namespace gw
