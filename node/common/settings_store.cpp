// The per-user settings store over QSettings in INI format.
#include "common/settings_store.h"

#include "common/paths.h"
#include "common/text.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <charconv>
#include <limits>

namespace gw {
namespace {
QString keyPath(std::string_view section, std::string_view key) {
    return toQString(section) + QLatin1Char('/') + toQString(key);
}
} // namespace

SettingsStore::SettingsStore(std::string application)
    : m_path(configFolder() + "/" + application + ".ini") {}

SettingsStore SettingsStore::atFile(std::string filePath) {
    return {FilePath{}, std::move(filePath)};
}

std::string SettingsStore::read(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    if (!QFileInfo::exists(QString::fromStdString(m_path))) return std::string(fallback);
    QSettings settings(QString::fromStdString(m_path), QSettings::IniFormat);
    const QVariant value = settings.value(keyPath(section, key));
    if (!value.isValid()) return std::string(fallback);
    // A value holding commas reads back as a list; the store deals in single texts.
    if (value.typeId() == QMetaType::QStringList)
        return fromQString(value.toStringList().join(','));
    return fromQString(value.toString());
}

bool SettingsStore::utf8Text(std::string& problem) const {
    QFile file(QString::fromStdString(m_path));
    if (!file.open(QIODevice::ReadOnly)) return true; // missing, or refused at the write
    int number = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        ++number;
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder.decode(line); // the decoding runs here
        if (decoder.hasError()) {
            problem = "line " + std::to_string(number) +
                      " holds bytes that are not UTF-8 text (saved as Latin-1?); save the file "
                      "as UTF-8, as saving a setting would replace them";
            return false;
        }
    }
    return true;
}

bool SettingsStore::write(std::string_view section, std::string_view key, std::string_view value) {
    std::string problem;
    if (!utf8Text(problem)) return false;
    makePrivateFolder(QFileInfo(QString::fromStdString(m_path)).absolutePath().toStdString());
    {
        QSettings settings(QString::fromStdString(m_path), QSettings::IniFormat);
        settings.setValue(keyPath(section, key), toQString(value));
        settings.sync();
    }
    QFile::setPermissions(QString::fromStdString(m_path),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

bool SettingsStore::writable(std::string& problem) const {
    const QString path = QString::fromStdString(m_path);
    const QString folder = QFileInfo(path).absolutePath();
    if (!makePrivateFolder(folder.toStdString()) && !QFileInfo(folder).isDir()) {
        problem = "the folder " + folder.toStdString() + " cannot be created";
        return false;
    }
    if (QFileInfo::exists(path)) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append)) return utf8Text(problem);
        problem = fromQString(file.errorString());
        return false;
    }
    // No file yet: a file of our own in the folder shows that the first write will work.
    QTemporaryFile probe(folder + "/.probe-XXXXXX");
    if (probe.open()) return true;
    problem = "the folder " + folder.toStdString() +
              " cannot be written: " + fromQString(probe.errorString());
    return false;
}

bool SettingsStore::remove(std::string_view section, std::string_view key) {
    std::string problem;
    if (!QFileInfo::exists(QString::fromStdString(m_path))) return true;
    if (!utf8Text(problem)) return false;
    QSettings settings(QString::fromStdString(m_path), QSettings::IniFormat);
    settings.remove(keyPath(section, key));
    settings.sync();
    return true;
}

bool parseStoredBool(std::string_view text, bool& out) {
    const std::string t = toUpper(trim(text));
    if (t == "TRUE") return out = true, true;
    if (t == "FALSE") return out = false, true;
    if (isNumeric(t)) return out = numericValue(t) != 0.0, true;
    return false;
}

bool parseStoredInt16(std::string_view text, std::int16_t& out) {
    const std::string t = trim(text);
    int value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size()) return false;
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max())
        return false;
    out = static_cast<std::int16_t>(value);
    return true;
}

bool SettingsStore::readBool(std::string_view section, std::string_view key, bool fallback) const {
    bool value = fallback;
    return parseStoredBool(read(section, key, ""), value) ? value : fallback;
}

std::int16_t SettingsStore::readInt16(std::string_view section, std::string_view key,
                                      std::int16_t fallback) const {
    std::int16_t value = fallback;
    return parseStoredInt16(read(section, key, ""), value) ? value : fallback;
}

bool SettingsStore::writeBool(std::string_view section, std::string_view key, bool value) {
    return write(section, key, value ? "True" : "False");
}

} // namespace gw
