// Creating in-process objects by class identifier, and module self-registration.
#include "pingclient/class_registry.h"

#include "ping/class_registry_file.h"

#include <dlfcn.h>
#include <map>

namespace pingclient {

using namespace automation;

namespace {

// Modules loaded for objects, by path; a module stays while it has objects.
std::map<std::string, void*>& modules() {
    static std::map<std::string, void*> loaded;
    return loaded;
}

void* loadModule(const std::string& path, std::string* error) {
    auto& loaded = modules();
    if (auto it = loaded.find(path); it != loaded.end()) return it->second;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (error) *error = dlerror();
        return nullptr;
    }
    return loaded[path] = handle;
}

void report(std::string* error, const std::string& text) {
    if (error) *error = text;
}

} // namespace

std::string inprocServerPath(const Guid& clsid) {
    auto settings = classregistry::open();
    return settings
        ->value(classregistry::defaultValue("CLSID/" + clsid.toString() + "/InprocServer32"))
        .toString()
        .toStdString();
}

std::optional<Guid> clsidFromProgId(const std::string& progId) {
    if (progId.empty()) return std::nullopt;
    auto settings = classregistry::open();
    return Guid::parse(
        settings->value(classregistry::defaultValue(progId + "/CLSID")).toString().toStdString());
}

HResult createInstance(const Guid& clsid, const Guid& iid, void** out, std::string* error) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const std::string path = inprocServerPath(clsid);
    if (path.empty()) {
        report(error, "Class " + clsid.toString() + " is not registered in " +
                          classregistry::filePath().toStdString());
        return REGDB_E_CLASSNOTREG;
    }
    void* handle = loadModule(path, error);
    if (!handle) return REGDB_E_CLASSNOTREG;
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    if (!getClassObject) {
        report(error, path + " has no DllGetClassObject");
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    ComPtr<IClassFactory> factory;
    if (const HResult hr = getClassObject(&clsid, &IID_IClassFactory, factory.receive());
        failed(hr)) {
        report(error, "DllGetClassObject refused the class");
        return hr;
    }
    const HResult hr = factory->createInstance(nullptr, iid, out);
    if (failed(hr)) report(error, "The class factory could not create the object");
    return hr;
}

HResult registerServer(const std::string& path, bool unregister, std::string* error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        report(error, dlerror());
        return E_FAIL;
    }
    const char* name = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto entry = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, name));
    HResult hr = E_FAIL;
    if (!entry)
        report(error, path + " has no " + name);
    else if (failed(hr = entry()))
        report(error, std::string(name) + " failed");
    dlclose(handle);
    return hr;
}

void freeUnusedLibraries() {
    auto& loaded = modules();
    for (auto it = loaded.begin(); it != loaded.end();) {
        auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(dlsym(it->second, "DllCanUnloadNow"));
        if (canUnload && canUnload() == S_OK) {
            dlclose(it->second);
            it = loaded.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace pingclient
