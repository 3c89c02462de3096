// Host-side doubles for the automation contract: an event sink, a container site with an
// ambient user mode, and in-memory stream, storage and property bag.
#pragma once

#include "ping/automation.h"
#include "ping/pinglib.h"

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pingtest {

using namespace automation;

// Reference counting for doubles that live on the test's stack.
template <class Interface> class StackObject : public Interface {
  public:
    uint32_t addRef() override { return ++references; }
    uint32_t release() override { return --references; }
    uint32_t references = 1;
};

class ErrorSink final : public StackObject<IDispatch> {
  public:
    HResult queryInterface(const Guid& iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IDispatch && iid != pinglib::DIID__IPingEvents)
            return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        addRef();
        return S_OK;
    }
    HResult getIdOfName(std::string_view, DispId*) override { return DISP_E_UNKNOWNNAME; }
    HResult invoke(DispId id, uint16_t flags, std::vector<Variant>& args, Variant*,
                   ExcepInfo*) override {
        if (id != pinglib::dispid::Error || flags != DISPATCH_METHOD || args.size() != 2)
            return DISP_E_MEMBERNOTFOUND;
        events.emplace_back(*args[0].toI2(), *args[1].toText());
        args[0] = Variant::i2(0); // a handler's changes must not matter
        args[1] = Variant::text("changed");
        return S_OK;
    }
    std::vector<std::pair<int16_t, std::string>> events;
};

class Site final : public StackObject<IDispatch> {
  public:
    explicit Site(bool userMode) : userMode(userMode) {}
    HResult queryInterface(const Guid& iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IDispatch) return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        addRef();
        return S_OK;
    }
    HResult getIdOfName(std::string_view, DispId*) override { return DISP_E_UNKNOWNNAME; }
    HResult invoke(DispId id, uint16_t, std::vector<Variant>&, Variant* result,
                   ExcepInfo*) override {
        if (id != DISPID_AMBIENT_USERMODE) return DISP_E_MEMBERNOTFOUND;
        *result = Variant::boolean(userMode);
        return S_OK;
    }
    bool userMode;
};

class MemoryStream final : public StackObject<IStream> {
  public:
    HResult queryInterface(const Guid& iid, void** out) override {
        if (iid != IID_IUnknown) return E_NOINTERFACE;
        *out = static_cast<IStream*>(this);
        addRef();
        return S_OK;
    }
    HResult read(void* data, uint32_t size, uint32_t* done) override {
        const size_t n = std::min<size_t>(size, bytes.size() - position);
        if (n > 0) std::memcpy(data, bytes.data() + position, n); // an empty vector has no data
        position += n;
        *done = uint32_t(n);
        return S_OK;
    }
    HResult write(const void* data, uint32_t size, uint32_t* done) override {
        const auto* b = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), b, b + size);
        *done = size;
        return S_OK;
    }
    std::vector<uint8_t> bytes;
    size_t position = 0;
};

class MemoryStorage final : public StackObject<IStorage> {
  public:
    HResult queryInterface(const Guid& iid, void** out) override {
        if (iid != IID_IUnknown) return E_NOINTERFACE;
        *out = static_cast<IStorage*>(this);
        addRef();
        return S_OK;
    }
    HResult createStream(std::string_view name, IStream** out) override {
        auto& stream = streams[std::string(name)];
        stream = std::make_unique<MemoryStream>();
        stream->addRef();
        *out = stream.get();
        return S_OK;
    }
    HResult openStream(std::string_view name, IStream** out) override {
        auto it = streams.find(std::string(name));
        if (it == streams.end()) return STG_E_FILENOTFOUND;
        it->second->position = 0;
        it->second->addRef();
        *out = it->second.get();
        return S_OK;
    }
    std::map<std::string, std::unique_ptr<MemoryStream>> streams;
};

class PropertyBag final : public StackObject<IPropertyBag> {
  public:
    HResult queryInterface(const Guid& iid, void** out) override {
        if (iid != IID_IUnknown) return E_NOINTERFACE;
        *out = static_cast<IPropertyBag*>(this);
        addRef();
        return S_OK;
    }
    HResult read(std::string_view name, Variant* value) override {
        auto it = values.find(std::string(name));
        if (it == values.end()) return E_INVALIDARG;
        *value = it->second;
        return S_OK;
    }
    HResult write(std::string_view name, const Variant& value) override {
        order.emplace_back(name);
        values[std::string(name)] = value;
        return S_OK;
    }
    std::map<std::string, Variant> values;
    std::vector<std::string> order;
};

} // namespace pingtest
