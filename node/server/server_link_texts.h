// The completion texts of the server link that are its own (the others come from the
// connection's events).
#pragma once

namespace gw {

inline constexpr const char* kOkText = "OK";
inline constexpr const char* kCommandErrorText = "Command error...";
inline constexpr const char* kTimeoutText = "Response Timeout...";
inline constexpr const char* kReplyTooLargeText = "Reply too large...";
inline constexpr const char* kLinkClosedText = "Server link closed...";

} // namespace gw
