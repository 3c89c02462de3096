// The module-wide Winsock state shared by every control of the process: the loaded library,
// its load count, the start-up data and the entry-point table (stubs while unloaded).
#pragma once

#include "ping/winsock.h"

#include <map>
#include <optional>

namespace ping {

class WinsockState {
  public:
    using LibraryFactory = std::function<std::unique_ptr<SocketLibrary>()>;

    static WinsockState& instance();

    const WinsockApi& api() const { return m_api; }
    const WsaData& data() const { return m_data; }
    int loadCount() const { return m_count; }
    bool loaded() const { return m_library != nullptr; }

    // The path used at the next load; while loaded, the loaded library's full path.
    std::string path();
    void setPath(const std::string& path);

    // Loads for one control. On failure gives the reason (also kept as the description).
    std::optional<std::string> load();
    void unload();

    // Makes a library loadable by name (case-insensitive); "WSOCK32.DLL" is the platform's.
    void registerLibrary(const std::string& name, LibraryFactory factory);

    // The state a freshly loaded module starts with.
    void reset();

  private:
    WinsockState();
    SocketLibrary* open(const std::string& path);

    WinsockApi m_api;
    WsaData m_data;
    int m_count = 0;
    bool m_startedUp = false;
    std::string m_path;
    SocketLibrary* m_library = nullptr;
    std::map<std::string, LibraryFactory> m_factories;
    // Libraries once loaded stay loaded for the life of the module, as the platform's do.
    std::map<std::string, std::unique_ptr<SocketLibrary>> m_opened;
};

} // namespace ping
