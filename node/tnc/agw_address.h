// The modem program's AGW address as the operator writes it ("host:port", "[::1]:8000"), and
// the call signs a modem program registers and links: the node and its setup check read both
// the same way.
#pragma once

#include <optional>
#include <string>

namespace gw {

struct AgwAddress {
    std::string host; // without the brackets of an IPv6 address
    int port = 0;     // 1 to 65535
};

// The host and port of "host:port"; nothing when the text is not that.
std::optional<AgwAddress> parseAgwAddress(const std::string& text);

// Upper-case letters, digits and "-", 1 to 9 characters: what fits an AGW call field.
bool agwCallValid(const std::string& call);

} // namespace gw
