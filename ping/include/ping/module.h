// What the module counts to answer DllCanUnloadNow, and where it was loaded from.
#pragma once

#include <string>

namespace ping::module {

void objectCreated();
void objectDestroyed();
void lock(bool lock);
bool canUnload();
// The full path of this library file.
std::string path();

} // namespace ping::module
