// The web console's operator password: the rule a new one must meet, and its salted slow
// hash as stored in the instance's settings ("pbkdf2-sha256$ITER$SALT$HASH", base64 fields).
// Passwords are UTF-8 text, whichever way they were typed.
#pragma once

#include <string>
#include <string_view>

namespace gw {

// The settings key, in the instance's section, that holds the hash.
constexpr const char* kWebPasswordKey = "WebPassword";

// "" when the password is acceptable (8 to 64 characters, no control characters), else why not.
std::string webPasswordProblem(const std::string& password);
// A new random salt each call, so two hashes of one password differ.
std::string hashWebPassword(const std::string& password);
// Whether the stored value is a hash this program can check (not damaged or truncated).
bool webPasswordHashReadable(const std::string& stored);
// Whether `password` matches the stored hash. A stored value that is not one of ours (damaged,
// truncated, a count too large to compute) never matches; the comparison takes the same time
// wherever the first difference lies.
bool verifyWebPassword(const std::string& password, const std::string& stored);
// Byte-wise equality whose time depends on the lengths only (secrets, session cookies).
bool constantTimeEqual(std::string_view a, std::string_view b);

} // namespace gw
