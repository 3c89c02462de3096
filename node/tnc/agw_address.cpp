// AGW addresses and call signs.
#include "tnc/agw_address.h"

#include <algorithm>
#include <cctype>

namespace gw {

std::optional<AgwAddress> parseAgwAddress(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    AgwAddress address;
    address.host = text.substr(0, colon);
    if (address.host.size() > 2 && address.host.front() == '[' && address.host.back() == ']')
        address.host = address.host.substr(1, address.host.size() - 2);
    const std::string portText = text.substr(colon + 1);
    const bool digits = !portText.empty() && portText.size() <= 5 &&
                        std::all_of(portText.begin(), portText.end(), [](char c) {
                            return std::isdigit(static_cast<unsigned char>(c));
                        });
    address.port = digits ? std::stoi(portText) : 0;
    if (address.host.empty() || address.port < 1 || address.port > 65535) return std::nullopt;
    return address;
}

bool agwCallValid(const std::string& call) {
    return !call.empty() && call.size() <= 9 && std::all_of(call.begin(), call.end(), [](char c) {
        return std::isupper(static_cast<unsigned char>(c)) ||
               std::isdigit(static_cast<unsigned char>(c)) || c == '-';
    });
}

} // namespace gw
