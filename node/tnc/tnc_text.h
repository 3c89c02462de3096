// Reading TNC answers and saved listings: the value after a keyword, and the commands that put
// a saved DISPLAY listing back.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gw {

// The text after the first `keyword` in `answer`, up to the first carriage return, trimmed;
// nothing when the keyword is absent. `anyCase` matches the keyword without regard to case.
std::optional<std::string> answerValue(std::string_view answer, std::string_view keyword,
                                       bool anyCase);

// A whole number from a value text, or nothing when the text is not numeric.
std::optional<long> wholeValue(std::string_view text);

// The commands that send a saved listing back: one per line that ends with a carriage
// return; line feeds and blanks around it removed, every "cmd:" removed when asked, a
// parenthesised note cut off; empty lines and lines beginning "IN" (the interface mode,
// which must stay as the node left it) are left out.
std::vector<std::string> restoreCommands(std::string_view saved, bool removePrompts);

} // namespace gw
