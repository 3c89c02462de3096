// The node's status colours as its views paint them: light green for a working state, light
// red for a failure, light yellow for work in progress or an active connection, and the
// plain face for none.
#pragma once

namespace gw {

enum class Shade { Face, LightGreen, LightRed, LightYellow };

} // namespace gw
