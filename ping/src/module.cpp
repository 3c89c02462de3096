// The module's object and lock counts, and its own file path.
#include "ping/module.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <dlfcn.h>

namespace ping::module {

namespace {
std::atomic<int> objects{0};
std::atomic<int> locks{0};
} // namespace

void objectCreated() {
    ++objects;
}
void objectDestroyed() {
    --objects;
}

void lock(bool lock) {
    if (lock)
        ++locks;
    else if (locks > 0)
        --locks;
}

bool canUnload() {
    return objects == 0 && locks == 0;
}

std::string path() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&canUnload), &info) || !info.dli_fname) return {};
    char resolved[PATH_MAX];
    return realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
}

} // namespace ping::module
