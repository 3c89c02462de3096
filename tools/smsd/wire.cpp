// Reading requests and escaping fields for smsd.
#include "wire.h"

#include "common/text.h"

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

// Complete lines only (a last line without its LF is still arriving), without CR LF / LF.
std::vector<std::string_view> completeLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t lf; (lf = text.find('\n', start)) != std::string_view::npos; start = lf + 1) {
        std::string_view line = text.substr(start, lf - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
    }
    return lines;
}

ParseResult malformed(std::string problem) {
    ParseResult result;
    result.status = ParseResult::Status::Malformed;
    result.problem = std::move(problem);
    return result;
}

// Reads the header block, blank line and body of an S request; false while incomplete.
bool readMessage(const std::vector<std::string_view>& lines, Request& request) {
    std::size_t i = 1;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
        const std::string_view line = lines[i];
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
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
    if (i >= lines.size()) return false;
    std::string body;
    for (std::size_t first = ++i; i < lines.size(); ++i) {
        if (gw::toUpper(lines[i]) == "/EX") {
            request.body = body;
            return true;
        }
        if (i > first) body.append("\r\n");
        body.append(lines[i]);
    }
    return false;
}
} // namespace

std::string encodeField(std::string_view text) {
    return replaceAll(replaceAll(text, "\\", "\\0"), "|", "\\1");
}

std::string decodeField(std::string_view text) {
    return replaceAll(replaceAll(text, "\\1", "|"), "\\0", "\\");
}

ParseResult parseRequest(std::string_view received) {
    const std::vector<std::string_view> lines = completeLines(received);
    if (lines.empty()) return {};
    const std::vector<std::string_view> fields = split(lines[0], '|');
    if (fields[0].size() != 1) return malformed("unknown command");
    Request request;
    request.command = gw::toUpper(fields[0])[0];
    const bool withMid = request.command == 'R' || request.command == 'K' || request.command == 'S';
    if (!withMid && request.command != 'L') return malformed("unknown command");
    // Every field, the last one included, ends with "|": the split leaves one empty tail.
    const std::size_t expected = withMid ? 6 : 5;
    if (fields.size() != expected || !fields.back().empty()) return malformed("wrong field count");
    request.mboCall = gw::trim(fields[1]);
    request.password = decodeField(fields[2]);
    request.userCall = gw::trim(fields[3]);
    if (withMid) request.mid = decodeField(fields[4]);
    if (request.mboCall.empty() || request.userCall.empty()) return malformed("empty call sign");
    if (withMid && request.mid.empty()) return malformed("empty MID");
    if (request.command == 'S' && !readMessage(lines, request)) return {};
    ParseResult result;
    result.status = ParseResult::Status::Complete;
    result.request = std::move(request);
    return result;
}

} // namespace smsd
