// The host-mode driver for single-port Kantronics TNCs ("KPC1", "KPC2", "KPC3").
#pragma once

#include "tnc/ckantronics.h"

namespace gw {

class CKANSingle final : public CKantronics {
  public:
    explicit CKANSingle(TncHost& host);
};

} // namespace gw
