// CKANSingle: the host-mode driver with its variant's settings name, disconnect port, repeat
// behaviour and answer format.
#include "tnc/ckan_single.h"

namespace gw {

CKANSingle::CKANSingle(TncHost& host)
    : CKantronics(host, KantronicsVariant{"KANSingleState", true, true, false}) {}

} // namespace gw
