// What the node accepts as a call sign, a MID, an address list, a subject or a message before
// any of it goes into a server request, and the rule for the node's server password. Every
// view (the window, the web page) and the radio side meet the same rules here.
#pragma once

#include <string>

namespace gw {

// Letters and digits (1 to 6), with an optional -SSID of 0 to 15; either case.
bool isCallSign(const std::string& call);
// The same call sign, regardless of case and surrounding blanks.
bool sameCall(const std::string& a, const std::string& b);
// 1 to 64 printable characters without blanks or "|".
bool isMid(const std::string& mid);

// Each returns "" when the text may go to the server, else why not, in words for the
// operator or the radio user. `what` names the field ("User call", "MID").
std::string callSignProblem(const std::string& what, const std::string& call);
std::string midProblem(const std::string& mid);
// Addresses separated by ";": each a call sign with an optional route ("N1CALL@N0NODE.#NCA"),
// or "SMTP:" and a mail address; no blanks inside, no control characters, no "|".
std::string addressesProblem(const std::string& addresses);
// A subject: one line, no control characters.
std::string subjectProblem(const std::string& subject);
// A message: lines without control characters but the line ends, none of them the "/EX" that
// ends a message.
std::string messageProblem(const std::string& message);

// The server password as the node stores it: trimmed and upper case; "" and `problem` set
// when it is not 4 to 12 characters.
std::string serverPassword(const std::string& typed, std::string& problem);

} // namespace gw
