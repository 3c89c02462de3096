// CKANMulti: the host-mode driver with its variant's settings name, disconnect port, repeat
// behaviour and answer format.
#include "tnc/ckan_multi.h"

namespace gw {

CKANMulti::CKANMulti(TncHost& host)
    : CKantronics(host, KantronicsVariant{"KANMultiState", false, false, true}) {}

} // namespace gw
