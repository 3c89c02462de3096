// pingreg: like a registration server tool, (un)registers a module through its exports; with
// --ping, creates the Ping control through the class registry file and pings one host.
#include "ping/pinglib.h"
#include "pingclient/class_registry.h"
#include "pingclient/error_events.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <string>

using namespace automation;

namespace {

constexpr const char* kUsage =
    "usage: pingreg [-u] MODULE          register (or with -u unregister) MODULE\n"
    "       pingreg --ping HOST [--timeout SECONDS] [--size BYTES] [--progid PROGID]\n"
    "                                    ping HOST with the registered Ping control\n"
    "       pingreg --help | --version\n";

bool parseNumber(const char* text, long low, long high, long* value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < low || v > high) return false;
    *value = v;
    return true;
}

int registration(const std::string& path, bool unregister) {
    std::string error;
    const HResult hr = pingclient::registerServer(path, unregister, &error);
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    if (failed(hr)) {
        std::fprintf(stderr, "%s in %s failed (0x%08X): %s\n", entry, path.c_str(), unsigned(hr),
                     error.c_str());
        return 1;
    }
    std::printf("%s in %s succeeded.\n", entry, path.c_str());
    return 0;
}

int pingHost(const std::string& host, long timeout, long size, const std::string& progId) {
    Guid clsid = pinglib::CLSID_Ping;
    if (!progId.empty()) {
        const auto found = pingclient::clsidFromProgId(progId);
        if (!found) {
            std::fprintf(stderr, "ProgID %s is not registered\n", progId.c_str());
            return 2;
        }
        clsid = *found;
    }
    ComPtr<pinglib::IPing> control;
    std::string error;
    if (const HResult hr =
            pingclient::createInstance(clsid, pinglib::IID_IPing, control.receive(), &error);
        failed(hr)) {
        std::fprintf(stderr, "Cannot create the Ping control (0x%08X): %s\n", unsigned(hr),
                     error.c_str());
        return 2;
    }
    // The control's Error events, printed as they arrive.
    const pingclient::ErrorEvents events(
        *control.get(), [](std::int16_t code, const std::string& description) {
            std::fprintf(stderr, "Error event %d: %s\n", code, description.c_str());
        });
    if (timeout >= 0) control->put_Timeout(static_cast<int16_t>(timeout));
    if (size >= 0) control->put_PacketSize(static_cast<int32_t>(size));

    const HResult hr = control->PingHost(host);
    int status = 0;
    if (host.empty()) {
        std::printf("No host given: nothing sent.\n");
    } else if (failed(hr)) {
        ErrorInfo info;
        auto errors = control.query<ISupportErrorInfo>(IID_ISupportErrorInfo);
        if (errors) errors->getErrorInfo(&info);
        std::printf("Ping %s failed: error %u: %s\n", host.c_str(), errorNumber(hr),
                    info.description.c_str());
        status = 1;
    } else {
        std::string source;
        int32_t time = 0, bytes = 0;
        control->get_ResponseSource(&source);
        control->get_ResponseTime(&time);
        control->get_PacketSize(&bytes);
        std::printf("Reply from %s: bytes=%d time=%dms\n", source.c_str(), bytes, time);
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string host, progId, module;
    bool unregister = false, ping = false;
    long timeout = -1, size = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "-u" || arg == "/u") {
            unregister = true;
        } else if (arg == "--ping" && hasValue) {
            ping = true;
            host = argv[++i];
        } else if (arg == "--timeout" && hasValue) {
            if (!parseNumber(argv[++i], 0, 32767, &timeout)) {
                std::fprintf(stderr, "--timeout takes whole seconds from 0 (no limit) to 32767\n");
                return 2;
            }
        } else if (arg == "--size" && hasValue) {
            if (!parseNumber(argv[++i], 0, 65535, &size)) {
                std::fprintf(stderr, "--size takes a packet size from 0 to 65535 bytes\n");
                return 2;
            }
        } else if (arg == "--progid" && hasValue) {
            progId = argv[++i];
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::puts("pingreg (Gullwick) " GULLWICK_VERSION);
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && module.empty()) {
            module = arg;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    int status = 2;
    if (ping && module.empty() && !unregister)
        status = pingHost(host, timeout, size, progId);
    else if (!ping && !module.empty())
        status = registration(module, unregister);
    else
        std::fputs(kUsage, stderr);
    pingclient::freeUnusedLibraries();
    return status;
}
