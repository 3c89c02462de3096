// Reading requests and escaping fields for smsd.
#include "wire.h"

#include "common/text.h"

#include <optional>

namespace smsd {
namespace {
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(from, pos)) != std::string_view::npos;
         pos = hit + from.size())
        out.append(text.substr(pos, hit - pos)).append(to);
    out.append(text.substr(pos));
    return out;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t hit; (hit = text.find(separator, start)) != std::string_view::npos;
         start = hit + 1)
        parts.push_back(text.substr(start, hit - start));
    parts.push_back(text.substr(start));
    return parts;
}

// Reads the request line into `request`; the problem when it is malformed.
std::optional<std::string> readRequestLine(std::string_view line, Request& request) {
    const std::vector<std::string_view> fields = split(line, '|');
    if (fields[0].size() != 1) return "unknown command";
    request.command = gw::toUpper(fields[0])[0];
    const bool withMid = request.command == 'R' || request.command == 'K' || request.command == 'S';
    if (!withMid && request.command != 'L') return "unknown command";
    // Every field, the last one included, ends with "|": the split leaves one empty tail.
    const std::size_t expected = withMid ? 6 : 5;
    if (fields.size() != expected || !fields.back().empty()) return "wrong field count";
    request.mboCall = gw::trim(fields[1]);
    request.password = decodeField(fields[2]);
    request.userCall = gw::trim(fields[3]);
    if (withMid) request.mid = decodeField(fields[4]);
    if (request.mboCall.empty() || request.userCall.empty()) return "empty call sign";
    if (withMid && request.mid.empty()) return "empty MID";
    return std::nullopt;
}

// One header line of an S request's message.
void readHeader(std::string_view line, Request& request) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string key = gw::toUpper(line.substr(0, colon));
    const std::string value = gw::trim(line.substr(colon + 1));
    if (key == "TO")
        request.to.push_back(value);
    else if (key == "CC")
        request.cc.push_back(value);
    else if (key == "SUBJECT")
        request.subject = value;
    else if (key == "DATE")
        request.date = value;
}
} // namespace

std::string encodeField(std::string_view text) {
    return replaceAll(replaceAll(text, "\\", "\\0"), "|", "\\1");
}

std::string decodeField(std::string_view text) {
    return replaceAll(replaceAll(text, "\\1", "|"), "\\0", "\\");
}

ParseResult parseRequest(std::string_view received) {
    RequestReader reader(received.size() + 1, received.size() + 1);
    ParseResult result;
    switch (reader.feed(received)) {
    case RequestReader::State::Complete:
        result.status = ParseResult::Status::Complete;
        result.request = reader.request();
        break;
    case RequestReader::State::Malformed:
        result.status = ParseResult::Status::Malformed;
        result.problem = reader.problem();
        break;
    default:
        break;
    }
    return result;
}

RequestReader::RequestReader(std::size_t maxLine, std::size_t maxRequest)
    : m_maxLine(maxLine), m_maxRequest(maxRequest) {}

RequestReader::State RequestReader::feed(std::string_view bytes) {
    if (m_state == State::Complete || m_state == State::Malformed) return m_state;
    m_received += bytes.size();
    while (!bytes.empty() && (m_state == State::Line || m_state == State::Message)) {
        const std::size_t lf = bytes.find('\n');
        if (lf == std::string_view::npos) {
            m_partial.append(bytes);
            break;
        }
        std::string_view line = bytes.substr(0, lf);
        bytes.remove_prefix(lf + 1);
        if (!m_partial.empty()) {
            m_partial.append(line);
            line = m_partial;
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        takeLine(line);
        m_partial.clear();
    }
    // A CR last may end a line whose LF is still on the way: it is no part of the line.
    const bool crLast = !m_partial.empty() && m_partial.back() == '\r';
    if (m_state == State::Line && m_partial.size() - (crLast ? 1 : 0) > m_maxLine)
        fail("request line too long");
    else if ((m_state == State::Line || m_state == State::Message) && m_received > m_maxRequest)
        fail("request too large");
    return m_state;
}

void RequestReader::takeLine(std::string_view line) {
    if (m_state == State::Line) {
        if (line.size() > m_maxLine) return fail("request line too long");
        if (std::optional<std::string> problem = readRequestLine(line, m_request))
            return fail(*problem);
        m_state = m_request.command == 'S' ? State::Message : State::Complete;
        return;
    }
    if (!m_inBody) {
        if (line.empty())
            m_inBody = true;
        else
            readHeader(line, m_request);
        return;
    }
    if (line.size() == 3 && gw::toUpper(line) == "/EX") {
        m_state = State::Complete;
        return;
    }
    if (m_bodyStarted) m_request.body.append("\r\n");
    m_request.body.append(line);
    m_bodyStarted = true;
}

void RequestReader::fail(std::string problem) {
    m_state = State::Malformed;
    m_problem = std::move(problem);
}

} // namespace smsd
