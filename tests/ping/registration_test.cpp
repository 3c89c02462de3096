// Registration into the class registry file, creation by class identifier through it, and
// the pingreg tool, including the unprivileged datagram fallback in a private network namespace.
#include "ping/pinglib.h"
#include "pingclient/class_registry.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pingtest {
namespace {

using namespace automation;

const std::string kLibrary = PING_LIBRARY_PATH;
const QString kTool = PINGREG_PATH;

std::string realPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : path;
}

class RegistrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ::chmod(home.path().toLocal8Bit().constData(), 0755);
        saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    }
    void TearDown() override {
        if (saved.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", saved);
    }
    QString registryFile() const { return home.path() + "/gullwick/classes.ini"; }
    QString value(const QString& key) const {
        return QSettings(registryFile(), QSettings::IniFormat).value(key).toString();
    }
    // Runs pingreg, optionally inside a fresh network namespace through `sh -c`.
    QString run(const QStringList& args, int* exitCode, const QString& namespaceSetup = {},
                const QString& asUser = {}) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (namespaceSetup.isEmpty()) {
            process.start(kTool, args);
        } else {
            QString command = namespaceSetup + " && " + asUser + " env XDG_CONFIG_HOME='" +
                              home.path() + "' '" + kTool + "'";
            for (const auto& a : args)
                command += " '" + a + "'";
            process.start("unshare", {"-n", "sh", "-c", command});
        }
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished();
        }
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return QString::fromLocal8Bit(process.readAll());
    }
    bool canMakeNamespaces() {
        if (geteuid() != 0) return false;
        return QProcess::execute("unshare", {"-n", "true"}) == 0 &&
               QProcess::execute("sh", {"-c", "command -v setpriv && command -v ip"}) == 0;
    }

    QTemporaryDir home;
    QByteArray saved;
    const QString classKey = "CLSID/" + QString::fromStdString(pinglib::CLSID_Ping.toString());
};

TEST_F(RegistrationTest, RegisterCreatePingUnregister) {
    {
        QSettings seed(registryFile(), QSettings::IniFormat);
        seed.setValue(classKey + "/Stale/Default", "left from an old version");
        seed.setValue("CLSID/{00000000-0000-0000-0000-000000000001}/Default", "another class");
    }
    std::string error;
    ASSERT_EQ(pingclient::registerServer(kLibrary, false, &error), S_OK) << error;
    const QString library = QString::fromStdString(realPath(kLibrary));
    EXPECT_EQ(value(classKey + "/InprocServer32/Default"), library);
    EXPECT_EQ(value(classKey + "/InprocServer32/ThreadingModel"), "Apartment");
    EXPECT_EQ(value(classKey + "/ToolboxBitmap32/Default"), library + ", 101");
    EXPECT_EQ(value(classKey + "/MiscStatus/Default"), "0");
    EXPECT_EQ(value(classKey + "/MiscStatus/1/Default"), "132497");
    EXPECT_EQ(value(classKey + "/ProgID/Default"), "Netquill.Ping.1");
    EXPECT_EQ(value(classKey + "/VersionIndependentProgID/Default"), "Netquill.Ping");
    EXPECT_EQ(value(classKey + "/Version/Default"), "1.0");
    EXPECT_EQ(value(classKey + "/TypeLib/Default"),
              QString::fromStdString(pinglib::LIBID_PINGLib.toString()));
    QSettings settings(registryFile(), QSettings::IniFormat);
    for (const char* key : {"Programmable", "Control", "Insertable", "Windows CE Control",
                            "Implemented Categories/{7DD95801-9882-11CF-9FA9-00AA006C42C4}",
                            "Implemented Categories/{7DD95802-9882-11CF-9FA9-00AA006C42C4}"})
        EXPECT_TRUE(settings.contains(classKey + "/" + key + "/Default")) << key;
    EXPECT_FALSE(settings.contains(classKey + "/Stale/Default")) << "the class key is replaced";
    for (const char* progId : {"Netquill.Ping", "Netquill.Ping.1", "Netquill5.Ping"}) {
        EXPECT_EQ(pingclient::clsidFromProgId(progId), pinglib::CLSID_Ping) << progId;
        EXPECT_EQ(value(QString(progId) + "/CurVer/Default"), "Netquill.Ping.1");
    }
    EXPECT_EQ(value("TypeLib/" + QString::fromStdString(pinglib::LIBID_PINGLib.toString()) +
                    "/1.0/0/linux/Default"),
              library);

    ComPtr<pinglib::IPing> control;
    ASSERT_EQ(pingclient::createInstance(pinglib::CLSID_Ping, pinglib::IID_IPing, control.receive(),
                                         &error),
              S_OK)
        << error;
    // The node drives the control late-bound: PingHost (502), ResponseTime (6), DoEvents (501).
    std::vector<Variant> args{Variant::text("")};
    Variant result;
    EXPECT_EQ(control->invoke(502, DISPATCH_METHOD, args, &result, nullptr), S_OK);
    std::vector<Variant> none;
    EXPECT_EQ(control->invoke(501, DISPATCH_METHOD, none, &result, nullptr), S_OK);
    EXPECT_EQ(control->invoke(6, DISPATCH_PROPERTYGET, none, &result, nullptr), S_OK);
    if (geteuid() == 0) {
        EXPECT_EQ(control->PingHost("127.0.0.1"), S_OK);
        std::string source;
        control->get_ResponseSource(&source);
        EXPECT_EQ(source, "127.0.0.1");
    }
    control.reset();
    pingclient::freeUnusedLibraries();

    ASSERT_EQ(pingclient::registerServer(kLibrary, true, &error), S_OK) << error;
    QSettings after(registryFile(), QSettings::IniFormat);
    for (const QString& key : after.allKeys()) {
        EXPECT_FALSE(key.startsWith(classKey)) << key.toStdString();
        EXPECT_FALSE(key.startsWith("Netquill")) << key.toStdString();
        EXPECT_FALSE(key.startsWith("TypeLib/")) << key.toStdString();
        EXPECT_FALSE(key.startsWith("Interface/")) << key.toStdString();
    }
    EXPECT_EQ(after.value("CLSID/{00000000-0000-0000-0000-000000000001}/Default").toString(),
              "another class");
    EXPECT_EQ(pingclient::createInstance(pinglib::CLSID_Ping, pinglib::IID_IPing, control.receive(),
                                         &error),
              REGDB_E_CLASSNOTREG);
}

TEST_F(RegistrationTest, ToolRegistersPingsAndUnregisters) {
    int code = 0;
    QString out = run({QString::fromStdString(kLibrary)}, &code);
    EXPECT_EQ(code, 0) << out.toStdString();
    EXPECT_TRUE(out.contains("DllRegisterServer")) << out.toStdString();

    out = run({"--ping", "", "--size", "100"}, &code);
    EXPECT_EQ(code, 0) << out.toStdString();
    if (geteuid() == 0) {
        out = run({"--ping", "127.0.0.1", "--size", "100"}, &code);
        EXPECT_EQ(code, 0) << out.toStdString();
        EXPECT_TRUE(out.startsWith("Reply from 127.0.0.1: bytes=100")) << out.toStdString();
    }
    out = run({"--ping", "127.0.0.1", "--size", "2053"}, &code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(out.contains("error 20119: Message can't be longer than MaxMessageSize."))
        << out.toStdString();

    out = run({"-u", QString::fromStdString(kLibrary)}, &code);
    EXPECT_EQ(code, 0) << out.toStdString();
    out = run({"--ping", "127.0.0.1"}, &code);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(out.contains("not registered")) << out.toStdString();
    EXPECT_EQ(run({"--bogus"}, &code).isEmpty(), false);
    EXPECT_EQ(code, 2);
}

TEST_F(RegistrationTest, UnprivilegedUserFallsBackToTheDatagramSocket) {
    if (!canMakeNamespaces())
        GTEST_SKIP() << "needs root, unshare, ip and setpriv to make a private network namespace";
    std::string error;
    ASSERT_EQ(pingclient::registerServer(kLibrary, false, &error), S_OK) << error;
    QFile::setPermissions(registryFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadOther | QFileDevice::ReadGroup);
    ::chmod((home.path() + "/gullwick").toLocal8Bit().constData(), 0755);
    const QString nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    int code = 0;
    QString out =
        run({"--ping", "127.0.0.1"}, &code,
            "ip link set lo up && sysctl -qw net.ipv4.ping_group_range='0 2147483647'", nobody);
    EXPECT_EQ(code, 0) << out.toStdString();
    EXPECT_TRUE(out.startsWith("Reply from 127.0.0.1: bytes=64")) << out.toStdString();

    out = run({"--ping", "127.0.0.1"}, &code,
              "ip link set lo up && sysctl -qw net.ipv4.ping_group_range='1 0'", nobody);
    EXPECT_EQ(code, 1) << out.toStdString();
    EXPECT_TRUE(out.contains("error 25014: [10013] Access denied")) << out.toStdString();
}

TEST_F(RegistrationTest, BroadcastInsideAPrivateNetworkNamespace) {
    if (!canMakeNamespaces())
        GTEST_SKIP() << "needs root, unshare and ip to make a private network namespace";
    std::string error;
    ASSERT_EQ(pingclient::registerServer(kLibrary, false, &error), S_OK) << error;
    int code = 0;
    // The namespace has only loopback, so the broadcast cannot leave the machine.
    const QString out =
        run({"--ping", "255.255.255.255"}, &code,
            "ip link set lo up && sysctl -qw net.ipv4.icmp_echo_ignore_broadcasts=0 "
            "&& ip route add broadcast 255.255.255.255 dev lo table local");
    EXPECT_EQ(code, 0) << out.toStdString();
    EXPECT_TRUE(out.startsWith("Reply from 127.0.0.1")) << out.toStdString();
}

} // namespace
} // namespace pingtest
