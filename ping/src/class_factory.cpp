// The class factory of the Ping coclass.
#include "ping/class_factory.h"

#include "ping/module.h"
#include "ping/ping.h"

namespace ping {

using namespace automation;

ClassFactory::ClassFactory() {
    module::objectCreated();
}

ClassFactory::~ClassFactory() {
    module::objectDestroyed();
}

HResult ClassFactory::queryInterface(const Guid& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    addRef();
    return S_OK;
}

uint32_t ClassFactory::addRef() {
    return ++m_references;
}

uint32_t ClassFactory::release() {
    const uint32_t left = --m_references;
    if (left == 0) delete this;
    return left;
}

HResult ClassFactory::createInstance(IUnknown* outer, const Guid& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto control = Ping::create();
    return control->queryInterface(iid, out);
}

HResult ClassFactory::lockServer(bool lock) {
    module::lock(lock);
    return S_OK;
}

} // namespace ping
