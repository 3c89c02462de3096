// Fuzzes the settings store with a hostile SMS.ini, reading what the setup window loads:
// every read ends with a text, a flag or a 16-bit number; what was loaded saves and loads back
// unchanged, and saving one value changes no other value of the section or another instance's;
// a file that is not UTF-8 text is left as it was.
#include "common/settings_store.h"
#include "fuzz_support.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <map>

using gw::SettingsStore;

namespace {
const char* const kKeys[] = {
    "CommPort",    "BaudRate",    "Length",    "Parity",         "Stop",     "TNCType",
    "Flow",        "Port1",       "Port2",     "Password",       "MBOCall",  "InitFilePath",
    "IPAddress",   "EnableLog",   "Restore",   "IPType",         "DUNIndex", "DialType",
    "HangUpDelay", "Initialized", "Heartbeat", "KANSingleState", "TNC2State"};
const char* const kSections[] = {"Client1", "Client2", "Client10"};

std::map<std::string, std::string> loadAll(const SettingsStore& store) {
    std::map<std::string, std::string> values;
    for (const char* section : kSections)
        for (const char* key : kKeys)
            values[std::string(section) + "/" + key] = store.read(section, key, "<absent>");
    return values;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::ensureApplication();
    static QTemporaryDir dir;
    // A new file name each time: a settings file must be read from disk, never from a cache.
    static int serial = 0;
    const QString path = dir.filePath(QStringLiteral("SMS%1.ini").arg(++serial));
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly), "the file is written");
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    SettingsStore store = SettingsStore::atFile(path.toStdString());
    const std::map<std::string, std::string> loaded = loadAll(store);
    for (const char* key : kKeys) {
        (void)store.readBool("Client1", key, true);
        (void)store.readInt16("Client1", key, -1);
    }
    // Save the first instance's values as loaded, as Initialize does.
    bool saved = false, refused = false;
    for (const char* key : kKeys) {
        const std::string value = loaded.at(std::string("Client1/") + key);
        if (value == "<absent>") continue;
        (store.write("Client1", key, value) ? saved : refused) = true;
    }
    FUZZ_CHECK(loadAll(store) == loaded, "saving what was loaded changes nothing");
    // Text that is not UTF-8 would be saved back as replacement characters.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text =
        utf8.decode(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    FUZZ_CHECK(!(utf8.hasError() && saved), "a file that is not UTF-8 is not rewritten");
    if (refused) {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::ReadOnly) &&
                       file.readAll() == QByteArray(reinterpret_cast<const char*>(data),
                                                    static_cast<qsizetype>(size)),
                   "a refused save leaves the file as it was");
    }
    QFile::remove(path);
    return 0;
}
