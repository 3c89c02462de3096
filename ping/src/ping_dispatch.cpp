// Late-bound calls on the Ping control: names to dispatch identifiers and invoke, converting
// arguments the way automation hosts expect.
#include "ping/ping.h"

#include <strings.h>

namespace ping {

using namespace automation;
namespace id = pinglib::dispid;

HResult Ping::getIdOfName(std::string_view name, DispId* out) {
    if (!out) return E_POINTER;
    for (const auto& member : pinglib::kMembers) {
        const std::string_view candidate(member.name);
        if (candidate.size() == name.size() &&
            strncasecmp(candidate.data(), name.data(), name.size()) == 0) {
            *out = member.id;
            return S_OK;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

HResult Ping::invoke(DispId dispId, uint16_t flags, std::vector<Variant>& args, Variant* value,
                     ExcepInfo* excep) {
    const pinglib::Member* member = pinglib::findMember(dispId);
    if (!member) return DISP_E_MEMBERNOTFOUND;
    ComPtr<Ping> alive(this);
    HResult hr = DISP_E_MEMBERNOTFOUND;
    if (member->method) {
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        if (member->id == id::DoEvents) {
            if (!args.empty()) return DISP_E_BADPARAMCOUNT;
            hr = DoEvents();
        } else {
            if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
            const auto host = args[0].toText();
            if (!host) return DISP_E_TYPEMISMATCH;
            hr = PingHost(*host);
        }
        if (value && succeeded(hr)) *value = Variant();
    } else if (flags & DISPATCH_PROPERTYPUT) {
        if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
        hr = putProperty(*member, args[0]);
    } else if (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) {
        if (!args.empty()) return DISP_E_BADPARAMCOUNT;
        Variant read;
        hr = getProperty(*member, &read);
        if (value && succeeded(hr)) *value = std::move(read);
    }
    if (failed(hr) && errorNumber(hr) != 0 && (uint32_t(hr) & 0xFFFF0000u) == 0x800A0000u) {
        if (excep) excep->error = m_lastError;
        return DISP_E_EXCEPTION;
    }
    return hr;
}

HResult Ping::getProperty(const pinglib::Member& member, Variant* value) {
    HResult hr = S_OK;
    switch (member.type) {
    case VarType::Bstr: {
        std::string text;
        switch (member.id) {
        case id::LocalHost:
            hr = get_LocalHost(&text);
            break;
        case id::RemoteHost:
            hr = get_RemoteHost(&text);
            break;
        case id::ResponseSource:
            hr = get_ResponseSource(&text);
            break;
        case id::WinsockInfo:
            hr = get_WinsockInfo(&text);
            break;
        case id::WinsockPath:
            hr = get_WinsockPath(&text);
            break;
        default:
            hr = get_WinsockStatus(&text);
            break;
        }
        *value = Variant::text(text);
        break;
    }
    case VarType::I2: {
        int16_t number = 0;
        hr = member.id == id::Timeout ? get_Timeout(&number) : get_TypeOfService(&number);
        *value = Variant::i2(number);
        break;
    }
    case VarType::Bool: {
        bool loaded = false;
        hr = get_WinsockLoaded(&loaded);
        *value = Variant::boolean(loaded);
        break;
    }
    default: {
        int32_t number = 0;
        switch (member.id) {
        case id::PacketSize:
            hr = get_PacketSize(&number);
            break;
        case id::QOSFlags:
            hr = get_QOSFlags(&number);
            break;
        case id::ResponseTime:
            hr = get_ResponseTime(&number);
            break;
        case id::SocketHandle:
            hr = get_SocketHandle(&number);
            break;
        case id::TimeToLive:
            hr = get_TimeToLive(&number);
            break;
        case id::WinsockMaxDatagramSize:
            hr = get_WinsockMaxDatagramSize(&number);
            break;
        default:
            hr = get_WinsockMaxSockets(&number);
            break;
        }
        *value = Variant::i4(number);
        break;
    }
    }
    return hr;
}

HResult Ping::putProperty(const pinglib::Member& member, const Variant& value) {
    // A read-only property refuses before looking at the value.
    if (member.readOnly) return readOnly(member.id);
    switch (member.type) {
    case VarType::Bstr: {
        const auto text = value.toText();
        if (!text) return DISP_E_TYPEMISMATCH;
        switch (member.id) {
        case id::LocalHost:
            return put_LocalHost(*text);
        case id::RemoteHost:
            return put_RemoteHost(*text);
        default:
            return put_WinsockPath(*text);
        }
    }
    case VarType::I2: {
        const auto number = value.toI2();
        if (!number) return DISP_E_TYPEMISMATCH;
        return member.id == id::Timeout ? put_Timeout(*number) : put_TypeOfService(*number);
    }
    case VarType::Bool: {
        const auto flag = value.toBool();
        if (!flag) return DISP_E_TYPEMISMATCH;
        return put_WinsockLoaded(*flag);
    }
    default: {
        const auto number = value.toI4();
        if (!number) return DISP_E_TYPEMISMATCH;
        switch (member.id) {
        case id::PacketSize:
            return put_PacketSize(*number);
        case id::QOSFlags:
            return put_QOSFlags(*number);
        default:
            return put_TimeToLive(*number);
        }
    }
    }
}

} // namespace ping
