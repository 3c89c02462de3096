// Winsock error numbers for this platform: from errno and resolver failures, and the
// "[%d] %s" texts that describe them.
#pragma once

#include <string>

namespace ping {

int winsockErrorFromErrno(int error);
int winsockErrorFromResolver(int eaiError, int savedErrno);
// The table's text alone, or empty when the code has no row.
std::string winsockErrorName(int code);
// "[code] text", or "[code] (no description available)"; the code shown as unsigned 16-bit.
std::string winsockErrorText(int code);

} // namespace ping
