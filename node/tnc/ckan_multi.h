// The host-mode driver for dual-port Kantronics TNCs ("KPC4", "KPC9612").
#pragma once

#include "tnc/ckantronics.h"

namespace gw {

class CKANMulti final : public CKantronics {
  public:
    explicit CKANMulti(TncHost& host);
};

} // namespace gw
