// The host-mode driver for the Kantronics KAM ("KAM"), dual-port.
#pragma once

#include "tnc/ckantronics.h"

namespace gw {

class CKAM final : public CKantronics {
  public:
    explicit CKAM(TncHost& host);
};

} // namespace gw
