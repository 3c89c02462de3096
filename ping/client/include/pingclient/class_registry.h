// Creating in-process objects by class identifier through the class registry file, and
// (un)registering a module by path: what a host of the ping control needs, without linking it.
#pragma once

#include "ping/automation.h"

#include <optional>
#include <string>

namespace pingclient {

// The module registered for the class, or empty.
std::string inprocServerPath(const automation::Guid& clsid);
std::optional<automation::Guid> clsidFromProgId(const std::string& progId);

// Loads the class's module (once) and asks its class object for a new instance.
// On failure, `error` (when given) says what went wrong.
automation::HResult createInstance(const automation::Guid& clsid, const automation::Guid& iid,
                                   void** out, std::string* error = nullptr);

// Loads the module at `path` and calls its DllRegisterServer or DllUnregisterServer.
automation::HResult registerServer(const std::string& path, bool unregister,
                                   std::string* error = nullptr);

// Unloads the loaded modules whose DllCanUnloadNow agrees.
void freeUnusedLibraries();

} // namespace pingclient
