// RequestQueue: the requests waiting for the server link. They are taken in turn across
// streams (the stream index in the session key; 0 is the sysop console, 11 the spool) and
// first in, first
// out within a stream, so one user's backlog never holds another's next request longer than
// one turn. A record added belongs to the queue until it is taken off.
#pragma once

#include "common/user_limit.h"
#include "server/ccommand.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace gw {

class RequestQueue {
  public:
    // One line per stream: the console, the ten radio streams and the spool's forwarding.
    static constexpr int kSpoolLane = kMaxUsers + 1;
    static constexpr int kStreams = kMaxUsers + 2;
    // Requests one radio stream may have waiting; the interpreter refuses more.
    static constexpr std::int32_t kMaxWaitingPerStream = 4;

    RequestQueue() = default;
    RequestQueue(const RequestQueue&) = delete;
    RequestQueue& operator=(const RequestQueue&) = delete;

    std::int32_t Count() const;
    // Appends at the tail of its stream's line; an empty pointer is ignored.
    void Add(std::unique_ptr<CCommand> request);
    // Takes the next request in turn; empty pointer when nothing waits.
    std::unique_ptr<CCommand> RemoveFirst();

    std::int32_t waiting(int stream) const;
    bool full(int stream) const { return waiting(stream) >= kMaxWaitingPerStream; }
    // Takes a departed user's list and read requests out and returns their session keys;
    // sends and kills stay, since what the user asked to change must still happen.
    std::vector<std::string> dropReads(int stream);

  private:
    static int lineOf(const std::string& session);

    std::array<std::deque<std::unique_ptr<CCommand>>, kStreams> m_lines;
    // The line to look at first on the next turn.
    int m_next = 0;
};

} // namespace gw
