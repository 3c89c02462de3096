// The listening socket of a simulator that offers a TCP port: 127.0.0.1 only.
#pragma once

namespace tncsim {

// A non-blocking listening socket on 127.0.0.1:`port`, or -1; `port` 0 takes a free port, and
// `port` is set to the port taken.
int listenOnLoopback(int& port);

} // namespace tncsim
