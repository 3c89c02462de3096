// The automation contract shared by the ping library and its hosts: identifiers, result codes,
// error information, variants, reference-counted interfaces, late-bound dispatch, class factories,
// connection points and the three persistence forms. Header-only so a host needs no link to us.
#pragma once

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace automation {

// A 128-bit class or interface identifier, written "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    friend bool operator==(const Guid&, const Guid&) = default;

    std::string toString() const {
        char text[39];
        std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                      unsigned(data1), unsigned(data2), unsigned(data3), data4[0], data4[1],
                      data4[2], data4[3], data4[4], data4[5], data4[6], data4[7]);
        return text;
    }

    // Accepts the braced form only, case-insensitive; anything else gives nothing.
    static std::optional<Guid> parse(std::string_view text) {
        if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
        std::string hex;
        for (size_t i = 1; i + 1 < text.size(); ++i) {
            const bool dash = (i == 9 || i == 14 || i == 19 || i == 24);
            if (dash != (text[i] == '-')) return std::nullopt;
            if (!dash) {
                if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
                hex += text[i];
            }
        }
        auto field = [&hex](size_t at, size_t len) {
            return static_cast<uint32_t>(std::stoul(hex.substr(at, len), nullptr, 16));
        };
        Guid g;
        g.data1 = field(0, 8);
        g.data2 = static_cast<uint16_t>(field(8, 4));
        g.data3 = static_cast<uint16_t>(field(12, 4));
        for (size_t i = 0; i < 8; ++i)
            g.data4[i] = static_cast<uint8_t>(field(16 + 2 * i, 2));
        return g;
    }
};

using HResult = int32_t;
using DispId = int32_t;

constexpr HResult hresult(uint32_t code) {
    return static_cast<HResult>(code);
}
constexpr bool succeeded(HResult hr) {
    return hr >= 0;
}
constexpr bool failed(HResult hr) {
    return hr < 0;
}

constexpr HResult S_OK = 0;
constexpr HResult S_FALSE = 1;
constexpr HResult E_NOTIMPL = hresult(0x80004001);
constexpr HResult E_NOINTERFACE = hresult(0x80004002);
constexpr HResult E_POINTER = hresult(0x80004003);
constexpr HResult E_FAIL = hresult(0x80004005);
constexpr HResult E_UNEXPECTED = hresult(0x8000FFFF);
constexpr HResult E_OUTOFMEMORY = hresult(0x8007000E);
constexpr HResult E_INVALIDARG = hresult(0x80070057);
constexpr HResult CLASS_E_NOAGGREGATION = hresult(0x80040110);
constexpr HResult CLASS_E_CLASSNOTAVAILABLE = hresult(0x80040111);
constexpr HResult REGDB_E_CLASSNOTREG = hresult(0x80040154);
constexpr HResult SELFREG_E_CLASS = hresult(0x80040201);
constexpr HResult SELFREG_E_TYPELIB = hresult(0x80040200);
constexpr HResult DISP_E_MEMBERNOTFOUND = hresult(0x80020003);
constexpr HResult DISP_E_TYPEMISMATCH = hresult(0x80020005);
constexpr HResult DISP_E_UNKNOWNNAME = hresult(0x80020006);
constexpr HResult DISP_E_EXCEPTION = hresult(0x80020009);
constexpr HResult DISP_E_BADPARAMCOUNT = hresult(0x8002000E);
constexpr HResult CONNECT_E_NOCONNECTION = hresult(0x80040200);
constexpr HResult CONNECT_E_CANNOTCONNECT = hresult(0x80040202);
constexpr HResult STG_E_FILENOTFOUND = hresult(0x80030002);
constexpr HResult STG_E_READFAULT = hresult(0x8003001E);

// Errors raised by a control carry the control facility: 0x800A0000 + the error number.
constexpr HResult controlError(uint16_t number) {
    return hresult(0x800A0000u + number);
}
constexpr uint16_t errorNumber(HResult hr) {
    return static_cast<uint16_t>(hr & 0xFFFF);
}

// Rich error information of a failed call: what a caller shows to its user.
struct ErrorInfo {
    HResult result = S_OK;
    std::string description;
    std::string source; // the ProgID of the class that raised it
    std::string helpFile;
    uint32_t helpContext = 0;
};

// A late-bound value. Text is a string of bytes, one per character.
enum class VarType : uint16_t { Empty = 0, I2 = 2, I4 = 3, Bstr = 8, Bool = 11 };

class Variant {
  public:
    Variant() = default;
    static Variant i2(int16_t v) { return Variant(Value(v)); }
    static Variant i4(int32_t v) { return Variant(Value(v)); }
    static Variant boolean(bool v) { return Variant(Value(v)); }
    static Variant text(std::string v) { return Variant(Value(std::move(v))); }

    VarType type() const {
        static constexpr VarType types[] = {VarType::Empty, VarType::I2, VarType::I4, VarType::Bool,
                                            VarType::Bstr};
        return types[m_value.index()];
    }
    bool isEmpty() const { return m_value.index() == 0; }

    // Conversions follow the automation rules a host expects: numbers from text, booleans as
    // -1/0, and a failure (not a guess) when the text is not a number or is out of range.
    std::optional<int32_t> toI4() const {
        switch (type()) {
        case VarType::Empty:
            return 0;
        case VarType::I2:
            return std::get<int16_t>(m_value);
        case VarType::I4:
            return std::get<int32_t>(m_value);
        case VarType::Bool:
            return std::get<bool>(m_value) ? -1 : 0;
        case VarType::Bstr:
            return parseInteger(std::get<std::string>(m_value));
        }
        return std::nullopt;
    }
    std::optional<int16_t> toI2() const {
        const auto v = toI4();
        if (!v || *v < INT16_MIN || *v > INT16_MAX) return std::nullopt;
        return static_cast<int16_t>(*v);
    }
    std::optional<bool> toBool() const {
        if (type() == VarType::Bstr) {
            std::string t = std::get<std::string>(m_value);
            for (auto& c : t)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (t == "true") return true;
            if (t == "false") return false;
        }
        const auto v = toI4();
        if (!v) return std::nullopt;
        return *v != 0;
    }
    std::optional<std::string> toText() const {
        switch (type()) {
        case VarType::Empty:
            return std::string();
        case VarType::Bstr:
            return std::get<std::string>(m_value);
        case VarType::Bool:
            return std::string(std::get<bool>(m_value) ? "True" : "False");
        default:
            return std::to_string(*toI4());
        }
    }

    friend bool operator==(const Variant&, const Variant&) = default;

  private:
    using Value = std::variant<std::monostate, int16_t, int32_t, bool, std::string>;
    explicit Variant(Value v) : m_value(std::move(v)) {}

    static std::optional<int32_t> parseInteger(const std::string& text) {
        size_t used = 0;
        try {
            const long long v = std::stoll(text, &used, 10);
            while (used < text.size() && text[used] == ' ')
                ++used;
            if (used != text.size() || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
            return static_cast<int32_t>(v);
        } catch (...) {
            return std::nullopt;
        }
    }

    Value m_value;
};

// Reference-counted base of every interface.
class IUnknown {
  public:
    virtual HResult queryInterface(const Guid& iid, void** out) = 0;
    virtual uint32_t addRef() = 0;
    virtual uint32_t release() = 0;

  protected:
    ~IUnknown() = default;
};

// Holds one reference; the owner of an interface pointer.
template <class T> class ComPtr {
  public:
    ComPtr() = default;
    explicit ComPtr(T* p, bool addRef = true) : m_p(p) {
        if (m_p && addRef) m_p->addRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.m_p) {}
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(m_p, o.m_p);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset() {
        if (auto* p = std::exchange(m_p, nullptr)) p->release();
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out parameters: the callee stores an already added reference.
    void** receive() {
        reset();
        return reinterpret_cast<void**>(&m_p);
    }
    T** out() {
        reset();
        return &m_p;
    }

    template <class U> ComPtr<U> query(const Guid& iid) const {
        ComPtr<U> out;
        if (m_p) m_p->queryInterface(iid, out.receive());
        return out;
    }

  private:
    T* m_p = nullptr;
};

// Well-known interface identifiers (the values of the platform this contract models).
inline constexpr Guid IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid IID_IConnectionPointContainer{
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr Guid IID_IConnectionPoint{
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr Guid IID_IPersistStreamInit{
    0x7FD52380, 0x4E07, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};
inline constexpr Guid IID_IPersistStorage{
    0x0000010A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid IID_IPersistPropertyBag{
    0x37D84F60, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr Guid IID_IOleObject{0x00000112, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid IID_IViewObject{0x0000010D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid IID_ISupportErrorInfo{
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

// Kinds of a late-bound call (may be combined: a method call may also read a property).
enum DispatchFlags : uint16_t {
    DISPATCH_METHOD = 1,
    DISPATCH_PROPERTYGET = 2,
    DISPATCH_PROPERTYPUT = 4,
};

// Filled by a late-bound call that fails with DISP_E_EXCEPTION.
struct ExcepInfo {
    ErrorInfo error;
};

// Ambient property a container answers through its site: false while designing a form.
constexpr DispId DISPID_AMBIENT_USERMODE = -709;

// Late-bound calls. Arguments are passed in the order the member declares them (not reversed);
// by-reference arguments are the entries of args themselves, which the callee may change.
class IDispatch : public IUnknown {
  public:
    virtual HResult getIdOfName(std::string_view name, DispId* id) = 0;
    virtual HResult invoke(DispId id, uint16_t flags, std::vector<Variant>& args, Variant* result,
                           ExcepInfo* excep) = 0;

  protected:
    ~IDispatch() = default;
};

class IClassFactory : public IUnknown {
  public:
    virtual HResult createInstance(IUnknown* outer, const Guid& iid, void** out) = 0;
    virtual HResult lockServer(bool lock) = 0;

  protected:
    ~IClassFactory() = default;
};

// Where a control's events go: the host advises a sink implementing the event interface.
class IConnectionPoint : public IUnknown {
  public:
    virtual HResult getConnectionInterface(Guid* iid) = 0;
    virtual HResult advise(IUnknown* sink, uint32_t* cookie) = 0;
    virtual HResult unadvise(uint32_t cookie) = 0;

  protected:
    ~IConnectionPoint() = default;
};

class IConnectionPointContainer : public IUnknown {
  public:
    virtual HResult findConnectionPoint(const Guid& iid, IConnectionPoint** out) = 0;

  protected:
    ~IConnectionPointContainer() = default;
};

// The platform keeps error information per thread; here each object keeps that of its own
// last failed call, which the caller reads right after the failing call.
class ISupportErrorInfo : public IUnknown {
  public:
    virtual HResult interfaceSupportsErrorInfo(const Guid& iid) = 0;
    virtual HResult getErrorInfo(ErrorInfo* out) = 0;

  protected:
    ~ISupportErrorInfo() = default;
};

// The embedding side: a container gives the control its site, which answers ambient
// properties through IDispatch (DISPID_AMBIENT_USERMODE among them).
class IOleObject : public IUnknown {
  public:
    virtual HResult setClientSite(IUnknown* site) = 0;
    // Extent in HIMETRIC units (0.01 mm).
    virtual HResult getExtent(int32_t* width, int32_t* height) = 0;

  protected:
    ~IOleObject() = default;
};

// A 32-bit RGB raster a control draws its design-time face on.
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // 0x00RRGGBB, row by row
    Canvas(int w, int h, uint32_t fill = 0xFFFFFF)
        : width(w), height(h), pixels(static_cast<size_t>(w) * h, fill) {}
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    void set(int x, int y, uint32_t rgb) {
        if (x >= 0 && y >= 0 && x < width && y < height)
            pixels[static_cast<size_t>(y) * width + x] = rgb;
    }
};

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

class IViewObject : public IUnknown {
  public:
    virtual HResult draw(Canvas& canvas, const Rect& bounds) = 0;

  protected:
    ~IViewObject() = default;
};

// Byte streams and the structured storage that holds them.
class IStream : public IUnknown {
  public:
    virtual HResult read(void* data, uint32_t size, uint32_t* done) = 0;
    virtual HResult write(const void* data, uint32_t size, uint32_t* done) = 0;

  protected:
    ~IStream() = default;
};

class IStorage : public IUnknown {
  public:
    virtual HResult createStream(std::string_view name, IStream** out) = 0;
    virtual HResult openStream(std::string_view name, IStream** out) = 0;

  protected:
    ~IStorage() = default;
};

class IPropertyBag : public IUnknown {
  public:
    virtual HResult read(std::string_view name, Variant* value) = 0;
    virtual HResult write(std::string_view name, const Variant& value) = 0;

  protected:
    ~IPropertyBag() = default;
};

class IPersistStreamInit : public IUnknown {
  public:
    virtual HResult getClassId(Guid* clsid) = 0;
    virtual HResult initNew() = 0;
    virtual HResult load(IStream* stream) = 0;
    virtual HResult save(IStream* stream, bool clearDirty) = 0;

  protected:
    ~IPersistStreamInit() = default;
};

class IPersistStorage : public IUnknown {
  public:
    virtual HResult getClassId(Guid* clsid) = 0;
    virtual HResult initNew(IStorage* storage) = 0;
    virtual HResult load(IStorage* storage) = 0;
    virtual HResult save(IStorage* storage, bool sameAsLoad) = 0;

  protected:
    ~IPersistStorage() = default;
};

class IPersistPropertyBag : public IUnknown {
  public:
    virtual HResult getClassId(Guid* clsid) = 0;
    virtual HResult initNew() = 0;
    virtual HResult load(IPropertyBag* bag) = 0;
    virtual HResult save(IPropertyBag* bag, bool clearDirty, bool saveAll) = 0;

  protected:
    ~IPersistPropertyBag() = default;
};

// Signatures of a self-registering in-process module's exports (C linkage).
using DllRegisterServerFn = HResult (*)();
using DllUnregisterServerFn = HResult (*)();
using DllGetClassObjectFn = HResult (*)(const Guid* clsid, const Guid* iid, void** out);
using DllCanUnloadNowFn = HResult (*)();

} // namespace automation
