// The one error type the node's classes raise to their callers: a number, the source that
// raised it and a description, as the operator sees them in "Error: n/description" boxes.
#pragma once

#include <stdexcept>
#include <string>

namespace gw {

class NodeError : public std::runtime_error {
  public:
    NodeError(long number, std::string source, std::string description)
        : std::runtime_error(description), m_number(number), m_source(std::move(source)),
          m_description(std::move(description)) {}

    long number() const { return m_number; }
    const std::string& source() const { return m_source; }
    const std::string& description() const { return m_description; }

  private:
    long m_number;
    std::string m_source;
    std::string m_description;
};

} // namespace gw
