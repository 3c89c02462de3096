// RequestQueue: round robin over the streams' lines.
#include "server/request_queue.h"

#include "server/session_key.h"

#include <algorithm>

namespace gw {

int RequestQueue::lineOf(const std::string& session) {
    const int stream = sessionStream(session);
    // A key that names no stream shares the console's line rather than being lost.
    return stream >= 0 && stream < kStreams ? stream : 0;
}

std::int32_t RequestQueue::Count() const {
    std::size_t total = 0;
    for (const auto& line : m_lines)
        total += line.size();
    return static_cast<std::int32_t>(total);
}

void RequestQueue::Add(std::unique_ptr<CCommand> request) {
    if (!request) return;
    m_lines[static_cast<std::size_t>(lineOf(request->Session))].push_back(std::move(request));
}

std::unique_ptr<CCommand> RequestQueue::RemoveFirst() {
    for (int i = 0; i < kStreams; ++i) {
        const int stream = (m_next + i) % kStreams;
        auto& line = m_lines[static_cast<std::size_t>(stream)];
        if (line.empty()) continue;
        std::unique_ptr<CCommand> request = std::move(line.front());
        line.pop_front();
        m_next = (stream + 1) % kStreams;
        return request;
    }
    return nullptr;
}

std::int32_t RequestQueue::waiting(int stream) const {
    if (stream < 0 || stream >= kStreams) return 0;
    return static_cast<std::int32_t>(m_lines[static_cast<std::size_t>(stream)].size());
}

std::vector<std::string> RequestQueue::dropReads(int stream) {
    std::vector<std::string> dropped;
    if (stream < 0 || stream >= kStreams) return dropped;
    auto& line = m_lines[static_cast<std::size_t>(stream)];
    const auto read = [](const std::unique_ptr<CCommand>& request) {
        return request->Command == "L" || request->Command == "R";
    };
    for (const auto& request : line)
        if (read(request)) dropped.push_back(request->Session);
    std::erase_if(line, read);
    return dropped;
}

} // namespace gw
