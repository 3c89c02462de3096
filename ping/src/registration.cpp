// The module's exports: self-registration into the class registry file, the class object
// and the unload check.
#include "ping/class_factory.h"
#include "ping/class_registry_file.h"
#include "ping/module.h"
#include "ping/pinglib.h"

#include <QFileInfo>

namespace {

using namespace automation;

constexpr const char* kDescription = "Netquill Ping Control";
constexpr const char* kProgIds[] = {"Netquill.Ping", "Netquill.Ping.1", "Netquill5.Ping"};
constexpr const char* kCategories[] = {"{7DD95801-9882-11CF-9FA9-00AA006C42C4}",
                                       "{7DD95802-9882-11CF-9FA9-00AA006C42C4}"};
// The proxies of the platform's automation marshaller, for a dual and a dispatch interface.
constexpr const char* kDualProxy = "{00020424-0000-0000-C000-000000000046}";
constexpr const char* kDispatchProxy = "{00020420-0000-0000-C000-000000000046}";

std::string classKey() {
    return "CLSID/" + pinglib::CLSID_Ping.toString();
}
std::string typeLibKey() {
    return "TypeLib/" + pinglib::LIBID_PINGLib.toString();
}
std::string interfaceKey(const Guid& iid) {
    return "Interface/" + iid.toString();
}

void setDefault(QSettings& s, const std::string& key, const std::string& value) {
    s.setValue(classregistry::defaultValue(key), QString::fromStdString(value));
}

void setNamed(QSettings& s, const std::string& key, const char* name, const std::string& value) {
    s.setValue(QString::fromStdString(key + "/" + name), QString::fromStdString(value));
}

HResult finish(QSettings& s, HResult failure) {
    s.sync();
    return s.status() == QSettings::NoError ? S_OK : failure;
}

HResult registerTypeLibrary(QSettings& s, const std::string& path) {
    const std::string version = typeLibKey() + "/1.0";
    setDefault(s, version, pinglib::kTypeLibHelpString);
    setDefault(s, version + "/0/linux", path);
    setDefault(s, version + "/FLAGS", "0");
    setDefault(s, version + "/HELPDIR",
               QFileInfo(QString::fromStdString(path)).absolutePath().toStdString());
    const struct {
        Guid iid;
        const char* name;
        const char* proxy;
    } interfaces[] = {{pinglib::IID_IPing, "IPing", kDualProxy},
                      {pinglib::DIID__IPingEvents, "_IPingEvents", kDispatchProxy}};
    for (const auto& i : interfaces) {
        const std::string key = interfaceKey(i.iid);
        s.remove(classregistry::key(key));
        setDefault(s, key, i.name);
        setDefault(s, key + "/ProxyStubClsid32", i.proxy);
        setDefault(s, key + "/TypeLib", pinglib::LIBID_PINGLib.toString());
        setNamed(s, key + "/TypeLib", "Version", "1.0");
    }
    return finish(s, SELFREG_E_TYPELIB);
}

} // namespace

extern "C" {

HResult DllRegisterServer() {
    const std::string path = ping::module::path();
    if (path.empty()) return SELFREG_E_CLASS;
    auto settings = classregistry::open();
    QSettings& s = *settings;
    const std::string clsid = pinglib::CLSID_Ping.toString();
    for (const char* progId : kProgIds) {
        setDefault(s, progId, kDescription);
        setDefault(s, std::string(progId) + "/CLSID", clsid);
        setDefault(s, std::string(progId) + "/CurVer", pinglib::kProgId);
    }
    // The class key is replaced as a whole, which replaces its marked subkeys with it.
    const std::string c = classKey();
    s.remove(classregistry::key(c));
    setDefault(s, c, kDescription);
    setDefault(s, c + "/ProgID", pinglib::kProgId);
    setDefault(s, c + "/VersionIndependentProgID", pinglib::kVersionIndependentProgId);
    setDefault(s, c + "/Programmable", "");
    setDefault(s, c + "/InprocServer32", path);
    setNamed(s, c + "/InprocServer32", "ThreadingModel", "Apartment");
    setDefault(s, c + "/Control", "");
    setDefault(s, c + "/Insertable", "");
    setDefault(s, c + "/ToolboxBitmap32", path + ", 101");
    setDefault(s, c + "/MiscStatus", "0");
    setDefault(s, c + "/MiscStatus/1", "132497");
    setDefault(s, c + "/TypeLib", pinglib::LIBID_PINGLib.toString());
    setDefault(s, c + "/Version", "1.0");
    setDefault(s, c + "/Windows CE Control", "");
    for (const char* category : kCategories)
        setDefault(s, c + "/Implemented Categories/" + category, "");
    if (const HResult hr = finish(s, SELFREG_E_CLASS); failed(hr)) return hr;
    return registerTypeLibrary(s, path);
}

HResult DllUnregisterServer() {
    auto settings = classregistry::open();
    QSettings& s = *settings;
    for (const char* progId : kProgIds)
        s.remove(classregistry::key(progId));
    s.remove(classregistry::key(classKey()));
    s.remove(classregistry::key(typeLibKey() + "/1.0"));
    s.beginGroup(classregistry::key(typeLibKey()));
    const bool otherVersions = !s.childGroups().isEmpty() || !s.childKeys().isEmpty();
    s.endGroup();
    if (!otherVersions) s.remove(classregistry::key(typeLibKey()));
    s.remove(classregistry::key(interfaceKey(pinglib::IID_IPing)));
    s.remove(classregistry::key(interfaceKey(pinglib::DIID__IPingEvents)));
    return finish(s, SELFREG_E_CLASS);
}

HResult DllGetClassObject(const Guid* clsid, const Guid* iid, void** out) {
    if (!clsid || !iid || !out) return E_POINTER;
    *out = nullptr;
    if (*clsid != pinglib::CLSID_Ping) return CLASS_E_CLASSNOTAVAILABLE;
    ComPtr<IClassFactory> factory(new ping::ClassFactory, false);
    return factory->queryInterface(*iid, out);
}

HResult DllCanUnloadNow() {
    return ping::module::canUnload() ? S_OK : S_FALSE;
}

} // extern "C"
