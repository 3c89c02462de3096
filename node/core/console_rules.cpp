// The node's rules for the fields of a server request and for its server password.
#include "core/console_rules.h"

#include "common/text.h"

#include <algorithm>
#include <cctype>

namespace gw {
namespace {
constexpr std::size_t kMaxMid = 64;
constexpr std::size_t kMaxAddress = 128;

bool isControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
}

bool isAlnum(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 && static_cast<unsigned char>(c) < 0x80;
}

// Printable ASCII without blanks, "|" or "\".
bool isPlainWord(const std::string& text, std::size_t limit) {
    return !text.empty() && text.size() <= limit &&
           std::all_of(text.begin(), text.end(), [](char c) {
               const auto u = static_cast<unsigned char>(c);
               return u > 0x20 && u < 0x7f && c != '|' && c != '\\';
           });
}

// A radio address: a call sign, then an optional "@" and a route of letters, digits, "." and
// "#"; or "SMTP:" and a mail address.
bool isAddress(const std::string& address) {
    if (!isPlainWord(address, kMaxAddress)) return false;
    if (toUpper(address.substr(0, 5)) == "SMTP:") {
        const std::string mail = address.substr(5);
        const auto at = mail.find('@');
        return at != std::string::npos && at > 0 && at + 1 < mail.size();
    }
    const auto at = address.find('@');
    if (!isCallSign(address.substr(0, at))) return false;
    if (at == std::string::npos) return true;
    const std::string route = address.substr(at + 1);
    return !route.empty() && std::all_of(route.begin(), route.end(), [](char c) {
        return isAlnum(c) || c == '.' || c == '#' || c == '-';
    });
}
} // namespace

bool isCallSign(const std::string& call) {
    const auto dash = call.find('-');
    const std::string base = call.substr(0, dash);
    if (base.empty() || base.size() > 6 || !std::all_of(base.begin(), base.end(), isAlnum))
        return false;
    if (dash == std::string::npos) return true;
    const std::string ssid = call.substr(dash + 1);
    return !ssid.empty() && ssid.size() <= 2 && std::all_of(ssid.begin(), ssid.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    }) && std::stoi(ssid) <= 15;
}

bool sameCall(const std::string& a, const std::string& b) {
    return toUpper(trim(a)) == toUpper(trim(b));
}

bool isMid(const std::string& mid) {
    return isPlainWord(mid, kMaxMid);
}

std::string callSignProblem(const std::string& what, const std::string& call) {
    if (isCallSign(call)) return "";
    return what + " \"" + loggable(call, 16) +
           "\" is not a call sign (letters and digits with an optional -SSID 0 to 15).";
}

std::string midProblem(const std::string& mid) {
    if (isMid(mid)) return "";
    return "MID \"" + loggable(mid, 16) + "\" is not a MID (1 to " + std::to_string(kMaxMid) +
           " letters, digits or signs, no blanks and no |).";
}

std::string addressesProblem(const std::string& addresses) {
    std::size_t start = 0;
    while (start <= addresses.size()) {
        const std::size_t end = std::min(addresses.find(';', start), addresses.size());
        const std::string address = trim(addresses.substr(start, end - start));
        // An empty element (a trailing ";") gives an empty To line, as the server expects.
        if (!address.empty() && !isAddress(address))
            return "Address \"" + loggable(address, 32) +
                   "\" is not a call sign (with an optional @route) or SMTP:mail address.";
        start = end + 1;
    }
    return "";
}

std::string subjectProblem(const std::string& subject) {
    if (std::none_of(subject.begin(), subject.end(), isControl)) return "";
    return "The subject must be one line without control characters.";
}

std::string messageProblem(const std::string& message) {
    std::size_t start = 0;
    while (start <= message.size()) {
        const std::size_t end = std::min(message.find_first_of("\r\n", start), message.size());
        const std::string line = message.substr(start, end - start);
        if (std::any_of(line.begin(), line.end(), isControl))
            return "The message must not contain control characters.";
        if (toUpper(trim(line)) == "/EX")
            return "The message must not hold a line \"/EX\": it would end the message there.";
        start = end + 1;
    }
    return "";
}

std::string serverPassword(const std::string& typed, std::string& problem) {
    const std::string text = trim(typed);
    if (text.size() < 4 || text.size() > 12) {
        problem = "Password must be between 4-12 char, case insensitive.";
        return "";
    }
    if (std::any_of(text.begin(), text.end(), isControl)) {
        problem = "The password must not contain control characters.";
        return "";
    }
    problem.clear();
    return toUpper(text);
}

} // namespace gw
