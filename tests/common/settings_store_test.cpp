// The settings store against a real INI file: defaults, encodings, privacy, sections.
#include "common/settings_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace gw;

namespace {
class SettingsStoreTest : public testing::Test {
  protected:
    QTemporaryDir dir;
    std::string path() const { return dir.path().toStdString() + "/sub/SMS.ini"; }
};
} // namespace

TEST_F(SettingsStoreTest, MissingFileSectionOrKeyGivesFallbackAndCreatesNothing) {
    auto store = SettingsStore::atFile(path());
    EXPECT_EQ(store.read("Client1", "CommPort", "1"), "1");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path())));
    store.write("Client1", "BaudRate", "9600");
    EXPECT_EQ(store.read("Client2", "BaudRate", "x"), "x");
    EXPECT_EQ(store.read("Client1", "Parity", "N"), "N");
}

TEST_F(SettingsStoreTest, TextRoundTripsIncludingCommasAndLatin1) {
    auto store = SettingsStore::atFile(path());
    store.write("Client1", "Settings", "9600,N,8,1");
    store.write("Client1", "Path", "/home/op/Node files/");
    store.write("Client1", "Odd", "caf\xe9 = ; #x");
    auto again = SettingsStore::atFile(path());
    EXPECT_EQ(again.read("Client1", "Settings", ""), "9600,N,8,1");
    EXPECT_EQ(again.read("Client1", "Path", ""), "/home/op/Node files/");
    EXPECT_EQ(again.read("Client1", "Odd", ""), "caf\xe9 = ; #x");
}

// A file an operator saved as Latin-1: its password must not turn into replacement characters.
TEST_F(SettingsStoreTest, FileThatIsNotUtf8IsRefusedNotRewritten) {
    QDir().mkpath(dir.filePath("sub"));
    const QByteArray latin1("[Client1]\nMBOCall=N0CALL\nPassword=caf\xe9\n");
    QFile file(QString::fromStdString(path()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(latin1);
    file.close();
    auto store = SettingsStore::atFile(path());
    std::string problem;
    EXPECT_FALSE(store.writable(problem));
    EXPECT_NE(problem.find("line 3 holds bytes that are not UTF-8"), std::string::npos) << problem;
    EXPECT_FALSE(store.write("Client1", "Active", "1"));
    EXPECT_FALSE(store.remove("Client1", "MBOCall"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), latin1);
}

TEST_F(SettingsStoreTest, SectionsAreSeparate) {
    auto store = SettingsStore::atFile(path());
    store.write("Client1", "MBOCall", "N0CALL");
    store.write("Client2", "MBOCall", "K4ABC");
    store.write("Client1", "MBOCall", "W1AW");
    EXPECT_EQ(store.read("Client2", "MBOCall", ""), "K4ABC");
    EXPECT_EQ(store.read("Client1", "MBOCall", ""), "W1AW");
}

TEST_F(SettingsStoreTest, BooleanEncodingsAndUnconvertibleFallback) {
    auto store = SettingsStore::atFile(path());
    const std::pair<const char*, bool> cases[] = {{"True", true}, {"false", false}, {"TRUE", true},
                                                  {"0", false},   {"-1", true},     {"2", true}};
    for (const auto& [text, expected] : cases) {
        store.write("C", "B", text);
        EXPECT_EQ(store.readBool("C", "B", !expected), expected) << text;
    }
    store.write("C", "B", "yes");
    EXPECT_TRUE(store.readBool("C", "B", true));
    EXPECT_FALSE(store.readBool("C", "B", false));
    store.writeBool("C", "W", true);
    EXPECT_EQ(store.read("C", "W", ""), "True");
}

TEST_F(SettingsStoreTest, Int16EncodingsAndUnconvertibleFallback) {
    auto store = SettingsStore::atFile(path());
    store.write("C", "I", "-1");
    EXPECT_EQ(store.readInt16("C", "I", 5), -1);
    for (const char* bad : {"x", "1.5", "70000", "", "1 2"}) {
        store.write("C", "I", bad);
        EXPECT_EQ(store.readInt16("C", "I", 7), 7) << bad;
    }
}

TEST_F(SettingsStoreTest, FileAndFolderArePrivate) {
    auto store = SettingsStore::atFile(path());
    store.write("Client1", "Password", "SECRET");
    struct stat st {};
    ASSERT_EQ(::stat(path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((dir.path().toStdString() + "/sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A shared folder the file is put into keeps its mode.
    const std::string shared = dir.path().toStdString() + "/shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    SettingsStore::atFile(shared + "/SMS.ini").write("Client1", "Password", "SECRET");
    ASSERT_EQ(::stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 01777u);
}

TEST_F(SettingsStoreTest, DefaultLocationFollowsXdgConfigHome) {
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    SettingsStore store("SMS");
    EXPECT_EQ(store.filePath(), dir.path().toStdString() + "/gullwick/SMS.ini");
    qunsetenv("XDG_CONFIG_HOME");
}
