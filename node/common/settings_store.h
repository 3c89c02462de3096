// The per-user settings store: text values addressed by application, section and key, kept
// in "$XDG_CONFIG_HOME/gullwick/<application>.ini" (section = INI group). Every read sees what
// other processes wrote last and every write reaches the file at once, so several instances
// can share one file. The file holds the node's password: it is private to the user. A file
// that is not UTF-8 text (a value saved by a Latin-1 editor) is never written: saving would
// rewrite every such value as replacement characters.
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
    // otherwise false with the reason in `problem`: the system's, or the line of the file that
    // is not UTF-8 text. May create the folder.
    bool writable(std::string& problem) const;

    // The stored text, or `fallback` when the file, section or key does not exist.
    // Reading never creates anything.
    std::string read(std::string_view section, std::string_view key,
                     std::string_view fallback) const;
    // Stores the text, creating file, section and key as needed; false, with the file left as
    // it was, when the file is not UTF-8 text.
    bool write(std::string_view section, std::string_view key, std::string_view value);
    bool remove(std::string_view section, std::string_view key);

    // "True"/"False" in any case, or a decimal number (0 false); anything else, `fallback`.
    bool readBool(std::string_view section, std::string_view key, bool fallback) const;
    // A 16-bit decimal integer; anything that is not one gives `fallback`.
    std::int16_t readInt16(std::string_view section, std::string_view key,
                           std::int16_t fallback) const;
    bool writeBool(std::string_view section, std::string_view key, bool value);

  private:
    // The file is missing or UTF-8 text; otherwise false with the first line that is not.
    bool utf8Text(std::string& problem) const;

    struct FilePath {};
    SettingsStore(FilePath, std::string path) : m_path(std::move(path)) {}
    std::string m_path;
};

// Conversions of the stored encodings, shared with anything that reads stored text.
bool parseStoredBool(std::string_view text, bool& out);
bool parseStoredInt16(std::string_view text, std::int16_t& out);

} // namespace gw
