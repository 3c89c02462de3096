// Text from radio users and clients as smsd repeats it in its log and its error lines: cut to a
// bound and with control and non-ASCII bytes escaped, so it can neither flood nor steer a terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace smsd {

// At most `limit` bytes of `text`, escaped as \xHH (a backslash as \\); a cut is marked with
// "..." and the full length.
std::string shown(std::string_view text, std::size_t limit = 40);

} // namespace smsd
