// Answer values and restore commands.
#include "tnc/tnc_text.h"

#include "common/text.h"

#include <algorithm>

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
    return static_cast<long>(roundHalfEven(numericValue(text)));
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

} // namespace gw
