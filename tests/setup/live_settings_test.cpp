// The live settings against a real INI file: defaults, the two-boolean encodings, values that
// do not convert, every key's saved form, and what a save leaves out.
#include "setup/live_settings.h"

#include "common/paths.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace gw;

namespace {
class LiveSettingsTest : public testing::Test {
  protected:
    QTemporaryDir dir;
    std::string path = dir.path().toStdString() + "/SMS.ini";
    SettingsStore settings = SettingsStore::atFile(path);
    LiveSettings loaded() const {
        LiveSettings live;
        live.load(settings, "Client1");
        return live;
    }
};
} // namespace

// The defaults that a save writes back unchanged are checked with the save.
TEST_F(LiveSettingsTest, FreshSectionLoadsTheDefaultsAndWritesNothing) {
    const LiveSettings live = loaded();
    EXPECT_EQ(live.baudRate, "9600");
    EXPECT_EQ(live.tncType, "KPC3");
    EXPECT_EQ(live.agwAddress, "127.0.0.1:8000");
    EXPECT_EQ(live.initFilePath, defaultFileFolder());
    EXPECT_EQ(live.ipAddress, "127.0.0.1");
    EXPECT_TRUE(live.enableLog && live.restore && live.port1);
    EXPECT_FALSE(live.port2);
    EXPECT_EQ(live.ipLink, IpLinkType::FullTime);
    EXPECT_EQ(live.hangUpDelay, "1");
    EXPECT_EQ(live.password, "");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
}

TEST_F(LiveSettingsTest, TwoBooleansEncodeTheConnectionTypeAndThePortOption) {
    settings.write("Client1", "IPType", "False");
    settings.write("Client1", "DialType", "False");
    settings.write("Client1", "Port1", "False");
    EXPECT_EQ(loaded().ipLink, IpLinkType::DialBackup);
    EXPECT_FALSE(loaded().port1 || loaded().port2);
    settings.write("Client1", "DialType", "True");
    settings.write("Client1", "Port1", "-1");
    settings.write("Client1", "Port2", "True");
    EXPECT_EQ(loaded().ipLink, IpLinkType::DialUp);
    EXPECT_TRUE(loaded().port1 && loaded().port2);
    settings.write("Client1", "IPType", "true");
    EXPECT_EQ(loaded().ipLink, IpLinkType::FullTime);
}

TEST_F(LiveSettingsTest, ValuesThatDoNotConvertTakeTheirDefaults) {
    settings.write("Client1", "Port1", "maybe");
    settings.write("Client1", "EnableLog", "on");
    settings.write("Client1", "Restore", "x");
    settings.write("Client1", "IPType", "dunno");
    settings.write("Client1", "DUNIndex", "first");
    settings.write("Client1", "HangUpDelay", "40000");
    settings.write("Client1", "IPAddress", " 10.0.0.5 ");
    const LiveSettings live = loaded();
    EXPECT_TRUE(live.port1 && live.enableLog && live.restore);
    EXPECT_EQ(live.ipLink, IpLinkType::FullTime);
    EXPECT_EQ(live.hangUpDelay, "1") << "a stored delay out of range";
    EXPECT_EQ(live.ipAddress, "10.0.0.5") << "loaded without surrounding blanks";
}

TEST_F(LiveSettingsTest, SaveWritesEveryKeyInItsEncodingButNotThePassword) {
    LiveSettings live = loaded();
    live.mboCall = "k4abc-5";
    live.initFilePath = "  /srv/node/  ";
    live.ipAddress = " 10.0.0.5 ";
    live.ipPort = " 8999 ";
    live.agwAddress = " 127.0.0.1:8001 ";
    live.kiss.address = " 127.0.0.1:8002 ";
    live.kiss.fullDuplex = true;
    live.baudRate = "115200";
    live.tncType = "KPC5";
    live.enableLog = false;
    live.port2 = true;
    live.ipLink = IpLinkType::DialBackup;
    live.hangUpDelay = "7";
    live.password = "SECRET";
    live.save(settings, "Client2");
    const std::pair<const char*, const char*> saved[] = {{"CommPort", "1"},
                                                         {"Stop", "1"},
                                                         {"Parity", "N"},
                                                         {"BaudRate", "115200"},
                                                         {"Length", "8"},
                                                         {"TNCType", "KPC5"},
                                                         {"Flow", "RTS/CTS"},
                                                         {"MBOCall", "K4ABC-5"},
                                                         {"InitFilePath", "/srv/node/"},
                                                         {"IPAddress", " 10.0.0.5 "},
                                                         {"IPPort", "8999"},
                                                         {"Port1", "True"},
                                                         {"Port2", "True"},
                                                         {"EnableLog", "0"},
                                                         {"Restore", "1"},
                                                         {"IPType", "False"},
                                                         {"DialType", "False"},
                                                         {"DUNIndex", "-1"},
                                                         {"HangUpDelay", "7"},
                                                         {"AGWAddress", "127.0.0.1:8001"},
                                                         {"KISSAddress", "127.0.0.1:8002"},
                                                         {"KISSTxDelay", "30"},
                                                         {"KISSPersist", "63"},
                                                         {"KISSSlotTime", "10"},
                                                         {"KISSTxTail", "10"},
                                                         {"KISSFullDuplex", "True"},
                                                         {"KISSInitText", ""},
                                                         {"KISSExit", "False"},
                                                         {"KISSPaclen", "128"},
                                                         {"KISSWindow", "4"},
                                                         {"KISSRetries", "10"},
                                                         {"KISST1", "3"},
                                                         {"KISSIdInterval", "10"}};
    QSettings ini(QString::fromStdString(path), QSettings::IniFormat);
    ini.beginGroup("Client2");
    QStringList expected;
    for (const auto& [key, value] : saved) {
        EXPECT_EQ(settings.read("Client2", key, "absent"), value) << key;
        expected << key;
    }
    QStringList written = ini.childKeys();
    written.sort();
    expected.sort();
    EXPECT_EQ(written, expected) << "no Password, nothing else";
}
