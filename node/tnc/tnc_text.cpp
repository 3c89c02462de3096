// Answer values and restore commands.
#include "tnc/tnc_text.h"

#include "common/text.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace gw {

std::optional<std::string> answerValue(std::string_view answer, std::string_view keyword,
                                       bool anyCase) {
    const std::size_t at = anyCase ? findNoCase(answer, keyword) : answer.find(keyword);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = answer.substr(at + keyword.size());
    rest = rest.substr(0, rest.find('\r'));
    return trim(rest);
}

std::optional<long> wholeValue(std::string_view text) {
    if (!isNumeric(text)) return std::nullopt;
    const double value = numericValue(text);
    // The settings are 32-bit values: a larger answer is as unusable as a word.
    if (value < std::numeric_limits<std::int32_t>::min() - 0.5 ||
        value >= std::numeric_limits<std::int32_t>::max() + 0.5)
        return std::nullopt;
    return static_cast<long>(roundHalfEven(value));
}

std::optional<long> packetLength(std::string_view text) {
    const auto value = wholeValue(text);
    if (!value || *value < 0 || *value > 255) return std::nullopt;
    return *value == 0 ? 256 : *value;
}

std::optional<long> userLimit(std::string_view text) {
    const auto value = wholeValue(text);
    if (!value || *value < 0) return std::nullopt;
    return value;
}

std::vector<std::string> restoreCommands(std::string_view saved, bool removePrompts) {
    std::vector<std::string> commands;
    std::size_t start = 0;
    for (std::size_t cr = saved.find('\r'); cr != std::string_view::npos;
         start = cr + 1, cr = saved.find('\r', start)) {
        std::string line(saved.substr(start, cr - start));
        // A TNC ends its listing lines with CR LF: the LF would lead the next line.
        line.erase(std::remove(line.begin(), line.end(), '\n'), line.end());
        line = trim(line);
        if (removePrompts) {
            for (std::size_t at = line.find("cmd:"); at != std::string::npos;
                 at = line.find("cmd:"))
                line.erase(at, 4);
            line = trim(line);
        }
        const std::size_t paren = line.find('(');
        if (paren != std::string::npos) line = trim(std::string_view(line).substr(0, paren));
        if (line.empty() || toUpper(line).rfind("IN", 0) == 0) continue;
        commands.push_back(line);
    }
    return commands;
}

namespace {
bool startsWith(std::string_view text, std::string_view head) {
    return text.substr(0, head.size()) == head;
}

// "$1B" (hexadecimal, as a TNC2 lists it) or "27"; nothing unless 1 to 255.
std::optional<unsigned char> characterValue(std::string_view text) {
    const bool hex = startsWith(text, "$");
    if (hex) text.remove_prefix(1);
    if (text.empty() || text.size() > 3) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : !hex                 ? -1
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        if (digit < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    }
    if (value == 0 || value > 255) return std::nullopt;
    return static_cast<unsigned char>(value);
}
} // namespace

std::optional<std::string> tnc2LinkMessage(std::string_view line) {
    const std::string upper = toUpper(line);
    for (std::size_t at = upper.find("*** "); at != std::string::npos;
         at = upper.find("*** ", at + 1)) {
        std::string text = trim(std::string_view(upper).substr(at));
        if (text.size() <= 4) continue; // the stars alone
        if (startsWith(text, "*** CONNECTED TO")) {
            std::string call = trim(std::string_view(text).substr(16));
            if (startsWith(call, ":")) call = trim(std::string_view(call).substr(1));
            return "*** CONNECTED TO " + call;
        }
        if (startsWith(text, "*** DISCONNECTED") || startsWith(text, "*** CONNECT REQUEST") ||
            startsWith(text, "*** RETRY COUNT EXCEEDED"))
            return text;
        // "*** CALL busy": one word between the stars and "busy".
        const std::string_view middle = std::string_view(text).substr(4);
        if (middle.size() > 5 && middle.substr(middle.size() - 5) == " BUSY" &&
            middle.substr(0, middle.size() - 5).find(' ') == std::string_view::npos)
            return text;
    }
    return std::nullopt;
}

ConverseSpecials::ConverseSpecials() {
    // COMMAND, SENDPAC, STREAMSW, PASS, CANLINE, CANPAC, DELETE (both forms), REDISPLA,
    // START, STOP, and the node's own SENDPAC $01.
    for (const unsigned char c :
         {0x03, 0x0D, 0x7C, 0x16, 0x18, 0x19, 0x08, 0x7F, 0x12, 0x11, 0x13, 0x01})
        m_special.set(c);
}

void ConverseSpecials::noteCommand(std::string_view command) {
    const std::string text = toUpper(trim(command));
    const std::size_t space = text.find(' ');
    if (space == std::string::npos) return;
    const std::string name = text.substr(0, space);
    const std::string value = trim(std::string_view(text).substr(space + 1));
    if (std::find(names().begin(), names().end(), name) == names().end()) return;
    const auto c = characterValue(value);
    if (!c) return;
    m_special.set(*c);
    if (name == "PASS") m_pass = static_cast<char>(*c);
}

void ConverseSpecials::noteAnswer(std::string_view answer) {
    for (std::size_t start = 0; start < answer.size();) {
        const std::size_t end = std::min(answer.find_first_of("\r\n", start), answer.size());
        noteCommand(answer.substr(start, end - start));
        start = end + 1;
    }
}

const std::vector<std::string>& ConverseSpecials::names() {
    static const std::vector<std::string> kNames = {
        "COMMAND", "PASS", "SENDPAC", "STREAMSW", "CANLINE", "CANPAC", "REDISPLA", "START", "STOP"};
    return kNames;
}

std::string ConverseSpecials::literal(std::string_view text) const {
    std::string out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        if (m_special.test(static_cast<unsigned char>(c))) out += m_pass;
        out += c;
    }
    return out;
}

} // namespace gw
