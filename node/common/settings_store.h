// The per-user settings store: text values addressed by application, section and key, kept
// in "$XDG_CONFIG_HOME/gullwick/<application>.ini" (section = INI group). Every read sees what
// other processes wrote last and every write reaches the file at once, so several instances
// can share one file. The file holds the node's password: it is private to the user.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gw {

class SettingsStore {
public:
    // The store of `application` in the default configuration folder.
    explicit SettingsStore(std::string application);
    // A store kept in an explicit file (tests).
    static SettingsStore atFile(std::string filePath);

    const std::string& filePath() const { return m_path; }
    // Whether the settings file (or, while it does not exist, its folder) can be written;
    // otherwise false with the system's reason in `problem`. May create the folder.
    bool writable(std::string& problem) const;

    // The stored text, or `fallback` when the file, section or key does not exist.
    // Reading never creates anything.
    std::string read(std::string_view section, std::string_view key,
                     std::string_view fallback) const;
    // Stores the text, creating file, section and key as needed.
    void write(std::string_view section, std::string_view key, std::string_view value);
    void remove(std::string_view section, std::string_view key);

    // "True"/"False" in any case, or a decimal number (0 false); anything else, `fallback`.
    bool readBool(std::string_view section, std::string_view key, bool fallback) const;
    // A 16-bit decimal integer; anything that is not one gives `fallback`.
    std::int16_t readInt16(std::string_view section, std::string_view key,
                           std::int16_t fallback) const;
    void writeBool(std::string_view section, std::string_view key, bool value);

private:
    struct FilePath {};
    SettingsStore(FilePath, std::string path) : m_path(std::move(path)) {}
    std::string m_path;
};

// Conversions of the stored encodings, shared with anything that reads stored text.
bool parseStoredBool(std::string_view text, bool& out);
bool parseStoredInt16(std::string_view text, std::int16_t& out);

} // namespace gw
