// Setting any line speed on a terminal, including those without a B-constant (14400, 56000,
// 128000, 256000), through the kernel's termios2 interface.
#pragma once

namespace gw {

// True when the kernel took the speed.
bool setLineSpeed(int fd, int baud);

} // namespace gw
