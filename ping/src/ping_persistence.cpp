// Saving and loading the Ping control: PacketSize, QOSFlags, Timeout and WinsockLoaded, in that
// order, through a stream, a storage (its stream "Contents") or a property bag.
//
// Stream format, little-endian: a 32-bit format version (0x00010000), then per property a
// 16-bit variant type and its value: PacketSize and QOSFlags as type 3 (32-bit), Timeout as
// type 2 (16-bit), WinsockLoaded as type 11 (16-bit, -1 true, 0 false).
#include "ping/ping.h"

#include <array>
#include <cstring>
#include <optional>

namespace ping {

using namespace automation;

namespace {

constexpr uint32_t kFormatVersion = 0x00010000;
constexpr const char* kContents = "Contents";
constexpr const char* kNames[] = {"PacketSize", "QOSFlags", "Timeout", "WinsockLoaded"};

bool readExact(IStream* stream, void* data, uint32_t size) {
    uint32_t done = 0;
    return succeeded(stream->read(data, size, &done)) && done == size;
}

bool writeExact(IStream* stream, const void* data, uint32_t size) {
    uint32_t done = 0;
    return succeeded(stream->write(data, size, &done)) && done == size;
}

// A property the bag does not hold keeps its current value; one it holds in a form that does
// not convert is refused (false), and the caller leaves every property as it was.
template <class T>
bool readProperty(IPropertyBag& bag, const char* name, std::optional<T> (Variant::*convert)() const,
                  T& into) {
    Variant value;
    if (failed(bag.read(name, &value))) return true;
    const std::optional<T> converted = (value.*convert)();
    if (converted) into = *converted;
    return converted.has_value();
}

template <class T> void putLittle(std::vector<uint8_t>& out, T value) {
    for (size_t i = 0; i < sizeof(T); ++i)
        out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i)));
}

template <class T> T getLittle(const uint8_t* in) {
    uint64_t value = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        value |= uint64_t(in[i]) << (8 * i);
    return static_cast<T>(value);
}

// Reads one tagged value; nothing when the stream ends early or the tag is unknown.
std::optional<Variant> readVariant(IStream* stream) {
    uint8_t tag[2];
    if (!readExact(stream, tag, 2)) return std::nullopt;
    uint8_t value[4];
    switch (static_cast<VarType>(getLittle<uint16_t>(tag))) {
    case VarType::I4:
        if (!readExact(stream, value, 4)) return std::nullopt;
        return Variant::i4(getLittle<int32_t>(value));
    case VarType::I2:
        if (!readExact(stream, value, 2)) return std::nullopt;
        return Variant::i2(getLittle<int16_t>(value));
    case VarType::Bool:
        if (!readExact(stream, value, 2)) return std::nullopt;
        return Variant::boolean(getLittle<int16_t>(value) != 0);
    default:
        return std::nullopt;
    }
}

} // namespace

HResult Ping::getClassId(Guid* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = pinglib::CLSID_Ping;
    return S_OK;
}

HResult Ping::initNew() {
    return S_OK;
}

HResult Ping::initNew(IStorage* storage) {
    return storage ? S_OK : E_POINTER;
}

HResult Ping::loadValues(int32_t packetSize, int32_t qosFlags, int16_t timeout,
                         bool winsockLoaded) {
    if (timeout < 0) return E_INVALIDARG;
    put_PacketSize(packetSize);
    if (const HResult hr = put_QOSFlags(qosFlags); failed(hr)) return hr;
    put_Timeout(timeout);
    put_WinsockLoaded(winsockLoaded);
    return S_OK;
}

HResult Ping::save(IStream* stream, bool) {
    if (!stream) return E_POINTER;
    int32_t packetSize = 0, qos = 0;
    int16_t timeout = 0;
    bool loaded = false;
    get_PacketSize(&packetSize);
    get_QOSFlags(&qos);
    get_Timeout(&timeout);
    get_WinsockLoaded(&loaded);
    std::vector<uint8_t> bytes;
    putLittle(bytes, kFormatVersion);
    putLittle(bytes, uint16_t(VarType::I4));
    putLittle(bytes, packetSize);
    putLittle(bytes, uint16_t(VarType::I4));
    putLittle(bytes, qos);
    putLittle(bytes, uint16_t(VarType::I2));
    putLittle(bytes, timeout);
    putLittle(bytes, uint16_t(VarType::Bool));
    putLittle(bytes, int16_t(loaded ? -1 : 0));
    return writeExact(stream, bytes.data(), uint32_t(bytes.size())) ? S_OK : STG_E_READFAULT;
}

HResult Ping::load(IStream* stream) {
    if (!stream) return E_POINTER;
    uint8_t version[4];
    if (!readExact(stream, version, 4) || getLittle<uint32_t>(version) != kFormatVersion)
        return STG_E_READFAULT;
    std::array<Variant, 4> values;
    for (auto& v : values) {
        auto read = readVariant(stream);
        if (!read) return STG_E_READFAULT;
        v = *read;
    }
    const auto packetSize = values[0].toI4();
    const auto qos = values[1].toI4();
    const auto timeout = values[2].toI2();
    const auto loaded = values[3].toBool();
    if (!packetSize || !qos || !timeout || !loaded) return DISP_E_TYPEMISMATCH;
    return loadValues(*packetSize, *qos, *timeout, *loaded);
}

HResult Ping::save(IStorage* storage, bool) {
    if (!storage) return E_POINTER;
    ComPtr<IStream> contents;
    if (const HResult hr = storage->createStream(kContents, contents.out()); failed(hr)) return hr;
    return save(contents.get(), true);
}

HResult Ping::load(IStorage* storage) {
    if (!storage) return E_POINTER;
    ComPtr<IStream> contents;
    if (const HResult hr = storage->openStream(kContents, contents.out()); failed(hr)) return hr;
    return load(contents.get());
}

HResult Ping::save(IPropertyBag* bag, bool, bool) {
    if (!bag) return E_POINTER;
    int32_t packetSize = 0, qos = 0;
    int16_t timeout = 0;
    bool loaded = false;
    get_PacketSize(&packetSize);
    get_QOSFlags(&qos);
    get_Timeout(&timeout);
    get_WinsockLoaded(&loaded);
    const Variant values[] = {Variant::i4(packetSize), Variant::i4(qos), Variant::i2(timeout),
                              Variant::boolean(loaded)};
    for (size_t i = 0; i < 4; ++i)
        if (const HResult hr = bag->write(kNames[i], values[i]); failed(hr)) return hr;
    return S_OK;
}

HResult Ping::load(IPropertyBag* bag) {
    if (!bag) return E_POINTER;
    int32_t packetSize = 0, qos = 0;
    int16_t timeout = 0;
    bool loaded = false;
    get_PacketSize(&packetSize);
    get_QOSFlags(&qos);
    get_Timeout(&timeout);
    get_WinsockLoaded(&loaded);
    if (!readProperty(*bag, kNames[0], &Variant::toI4, packetSize) ||
        !readProperty(*bag, kNames[1], &Variant::toI4, qos) ||
        !readProperty(*bag, kNames[2], &Variant::toI2, timeout) ||
        !readProperty(*bag, kNames[3], &Variant::toBool, loaded))
        return DISP_E_TYPEMISMATCH;
    return loadValues(packetSize, qos, timeout, loaded);
}

} // namespace ping
