// Simulated TNC parameters.
#include "sim_params.h"

#include <algorithm>
#include <cctype>

namespace tncsim {

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
}

SimParams::SimParams(std::vector<std::pair<std::string, std::string>> defaults)
    : m_values(std::move(defaults)) {}

std::optional<std::string> SimParams::resolve(const std::string& typed) const {
    const std::string name = upper(typed);
    std::optional<std::string> found;
    for (const auto& [known, value] : m_values) {
        if (known == name) return known;
        if (name.size() >= 2 && known.rfind(name, 0) == 0) {
            if (found) return std::nullopt;
            found = known;
        }
    }
    return found;
}

std::string SimParams::get(const std::string& name) const {
    for (const auto& [known, value] : m_values)
        if (known == name) return value;
    return "";
}

void SimParams::set(const std::string& name, const std::string& value) {
    for (auto& [known, current] : m_values)
        if (known == name) current = value;
}

bool SimParams::isOn(const std::string& name) const {
    return upper(get(name)) == "ON";
}

std::optional<std::string> SimParams::command(const std::string& line) {
    const std::string text = trimmed(line);
    const auto space = text.find(' ');
    const auto name = resolve(text.substr(0, space));
    if (!name) return std::nullopt;
    const std::string value = space == std::string::npos ? "" : trimmed(text.substr(space + 1));
    if (value.empty()) return *name + " " + get(*name);
    const std::string old = get(*name);
    std::string stored = value;
    if (upper(value) == "ON" || upper(value) == "OFF") stored = upper(value);
    // A dual-port value given once applies to both ports.
    if (old.find('/') != std::string::npos && stored.find('/') == std::string::npos)
        stored += "/" + stored;
    set(*name, stored);
    return *name + " was " + old;
}

std::string SimParams::listing() const {
    std::string out;
    for (const auto& [name, value] : m_values) {
        out += name + " " + value;
        if (value == "$7C") out += " (|)";
        if (value == "$0D") out += " (CR)";
        out += "\r\n";
    }
    return out;
}

} // namespace tncsim
