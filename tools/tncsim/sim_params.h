// A simulated TNC's parameters: names with values in listing order, queries ("PACLEN" prints
// "PACLEN 128"), settings ("PACLEN 64" prints "PACLEN was 128"), short forms by unique prefix.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tncsim {

class SimParams {
  public:
    explicit SimParams(std::vector<std::pair<std::string, std::string>> defaults);

    // The full name for a typed name: exact, or the only parameter it begins (two or more
    // letters); nothing when unknown or ambiguous.
    std::optional<std::string> resolve(const std::string& typed) const;
    std::string get(const std::string& name) const;
    void set(const std::string& name, const std::string& value);
    bool isOn(const std::string& name) const;

    // The answer to a command line, without line end or prompt; nothing when unknown.
    std::optional<std::string> command(const std::string& line);
    // The DISPLAY listing: "NAME value" lines, some with a note in parentheses.
    std::string listing() const;

  private:
    std::vector<std::pair<std::string, std::string>> m_values;
};

std::string upper(std::string text);
std::string trimmed(const std::string& text);

} // namespace tncsim
