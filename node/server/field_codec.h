// Escaping of field values in server request and reply lines: "|" separates fields, so a
// value's "\" travels as "\0" and its "|" as "\1".
#pragma once

#include <string>
#include <string_view>

namespace gw {

// "\" becomes "\0" first, then "|" becomes "\1".
std::string EncodeField(std::string_view text);
// "\1" becomes "|" first, then "\0" becomes "\": the exact inverse of EncodeField.
std::string DecodeField(std::string_view text);

} // namespace gw
