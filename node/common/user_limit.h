// How many radio users one node instance serves at once: the stream table, the TNC streams
// and the views are all sized by it.
#pragma once

namespace gw {

inline constexpr int kMaxUsers = 10;

} // namespace gw
