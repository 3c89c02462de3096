// The node's one random source: seeded once per process from the system's entropy, so that
// identifiers and session keys made in the same instant still differ.
#pragma once

namespace gw {

// A uniform fraction in [0, 1) with single precision (24 random bits).
float randomFraction();
// A uniform fraction in [0, 1) with double precision (53 random bits).
double randomFractionDouble();

} // namespace gw
