// CKAM: the host-mode driver with its variant's settings name, disconnect port, repeat
// behaviour and answer format.
#include "tnc/ckam.h"

namespace gw {

CKAM::CKAM(TncHost& host) : CKantronics(host, KantronicsVariant{"KAMState", false, false, true}) {}

} // namespace gw
