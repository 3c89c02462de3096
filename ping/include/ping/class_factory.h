// The class factory of the Ping coclass.
#pragma once

#include "ping/automation.h"

namespace ping {

class ClassFactory final : public automation::IClassFactory {
  public:
    using HResult = automation::HResult;

    ClassFactory();

    HResult queryInterface(const automation::Guid& iid, void** out) override;
    uint32_t addRef() override;
    uint32_t release() override;
    HResult createInstance(automation::IUnknown* outer, const automation::Guid& iid,
                           void** out) override;
    HResult lockServer(bool lock) override;

  private:
    ~ClassFactory();
    uint32_t m_references = 1;
};

} // namespace ping
