// Reading TNC answers and saved listings: the value after a keyword, and the commands that put
// a saved DISPLAY listing back; a TNC2's link messages and its converse-mode special characters.
#pragma once

#include <bitset>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gw {

// The text after the first `keyword` in `answer`, up to the first carriage return, trimmed;
// nothing when the keyword is absent. `anyCase` matches the keyword without regard to case.
std::optional<std::string> answerValue(std::string_view answer, std::string_view keyword,
                                       bool anyCase);

// A whole number from a value text, or nothing when the text is not numeric or lies outside
// the 32-bit range.
std::optional<long> wholeValue(std::string_view text);

// A packet length from a value text: 1 to 255 as given, 0 as 256 (the TNC's way of writing
// it); nothing for any other text, a length no TNC carries (0 would make every send empty).
std::optional<long> packetLength(std::string_view text);

// A user limit from a value text: a whole number, not negative.
std::optional<long> userLimit(std::string_view text);

// The commands that send a saved listing back: one per line that ends with a carriage
// return; line feeds and blanks around it removed, every "cmd:" removed when asked, a
// parenthesised note cut off; empty lines and lines beginning "IN" (the interface mode,
// which must stay as the node left it) are left out.
std::vector<std::string> restoreCommands(std::string_view saved, bool removePrompts);

// The link message a TNC2 printed on this line, upper-cased and trimmed, from its "***" on:
// "*** CONNECTED TO CALL" (also written "CONNECTED to: CALL", given without the colon),
// "*** DISCONNECTED", "*** CONNECT REQUEST: CALL", "*** RETRY COUNT EXCEEDED", "*** CALL BUSY".
// Nothing when the line is not one.
std::optional<std::string> tnc2LinkMessage(std::string_view line);

// The characters a TNC2 acts upon when they reach it in converse mode: COMMAND, PASS,
// SENDPAC, STREAMSW, CANLINE, CANPAC, DELETE, REDISPLA, START and STOP. The TNC-2 defaults
// stay special even after a start-up command moves one of them: sending PASS before a
// character that is not special costs nothing, while missing one hands the TNC a command.
class ConverseSpecials {
  public:
    ConverseSpecials();
    // Takes note of a start-up command that moves one of them ("SENDPAC $01", "PASS $1B").
    // DELETE only switches between $08 and $7F, both special from the start.
    void noteCommand(std::string_view command);
    // Takes note of a TNC's answer to one of `names()` asked alone ("PASS $16"), which tells
    // the value even when a start-up command set it under a short name the TNC accepts
    // ("COMM $05"). An echo of the question in the answer is passed over.
    void noteAnswer(std::string_view answer);
    // The commands that set them, in the order a node asks for them.
    static const std::vector<std::string>& names();
    // Text from other people made literal: PASS before every special character.
    std::string literal(std::string_view text) const;

  private:
    std::bitset<256> m_special;
    char m_pass = '\x16';
};

} // namespace gw
