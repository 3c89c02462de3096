// The pppd dial-up backend against a stand-in pppd (a shell script the test writes) and a
// temporary peers folder: entries, the command line, link up and down, failure, abandon and
// hang-up, and names that must never reach pppd.
#include "ip/pppd_dial_up.h"

#include "common/node_error.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using gw::DialUp;
using gw::PppdDialUp;

class PppdDialUpTest : public testing::Test {
  protected:
    QTemporaryDir dir;
    gw::QtEventPump pump;
    gw::SystemClock clock;
    std::vector<std::string> entries;
    std::vector<std::pair<long, long>> states;

    QString peers() const { return dir.path() + "/peers"; }
    QString argsFile() const { return dir.path() + "/args"; }

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(peers());
        for (const char* name : {"isp", "backup", ".hidden"})
            writeFile(peers() + "/" + name, "");
    }
    static void writeFile(const QString& path, const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        file.setPermissions(file.permissions() | QFile::ExeOwner);
    }
    // A stand-in pppd that records its arguments and then runs `body`.
    std::unique_ptr<PppdDialUp> backend(const QByteArray& body) {
        const QString program = dir.path() + "/pppd";
        writeFile(program, "#!/bin/sh\necho \"$@\" > '" + argsFile().toLocal8Bit() + "'\n" + body);
        auto dialUp = std::make_unique<PppdDialUp>(
            pump, clock, PppdDialUp::Options{peers().toStdString(), program.toStdString()});
        dialUp->setEvents({[this](const std::string& name) { entries.push_back(name); },
                           [this](long state, long error) { states.emplace_back(state, error); }});
        return dialUp;
    }
    std::string args() const {
        QFile file(argsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toStdString() : "";
    }
    bool waitForState(long state) {
        return gw::waitUntil(pump, clock, std::chrono::seconds(10),
                             [&] { return !states.empty() && states.back().first == state; });
    }
};

constexpr const char* kComesUp = "echo 'Using interface ppp7'\n"
                                 "echo 'local  IP address 10.64.64.2'\n"
                                 "exec sleep 30\n";

TEST_F(PppdDialUpTest, EntriesAreThePeerFilesInNameOrder) {
    auto dialUp = backend("");
    dialUp->setAction(DialUp::kEnumerate);
    EXPECT_EQ(entries, (std::vector<std::string>{"backup", "isp"}));
    EXPECT_THROW(dialUp->setAction(7), gw::NodeError);
}

TEST_F(PppdDialUpTest, DialReturnsWithTheLinkUpAndHangUpReportsItDown) {
    auto dialUp = backend(kComesUp);
    dialUp->setEntry("isp");
    dialUp->dial();
    ASSERT_EQ(states, (std::vector<std::pair<long, long>>{{DialUp::kAuthenticated, 0}}));
    EXPECT_TRUE(dialUp->linkUp());
    EXPECT_EQ(dialUp->interfaceName(), "ppp7");
    EXPECT_EQ(args(), "file " + peers().toStdString() + "/isp nodetach");
    // Dialing with the link already up is a connected dial, not a silent one.
    dialUp->dial();
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[1], (std::pair<long, long>{DialUp::kAuthenticated, 0}));
    states.pop_back();
    dialUp->hangUp();
    ASSERT_TRUE(waitForState(DialUp::kDisconnected));
    EXPECT_FALSE(dialUp->linkUp());
    EXPECT_EQ(states.size(), 2u);
}

TEST_F(PppdDialUpTest, APppdThatGivesUpEndsTheDialDisconnectedWithItsExitStatus) {
    auto dialUp = backend("exit 19\n");
    dialUp->setEntry("backup");
    dialUp->dial();
    EXPECT_EQ(states, (std::vector<std::pair<long, long>>{{DialUp::kDisconnected, 19}}));
    EXPECT_FALSE(dialUp->linkUp());
}

TEST_F(PppdDialUpTest, AbandoningEndsADialThatNeverConnects) {
    auto dialUp = backend("exec sleep 30\n");
    dialUp->setEntry("isp");
    QTimer::singleShot(200, [&] { dialUp->setAction(DialUp::kAbandon); });
    QElapsedTimer timer;
    timer.start();
    dialUp->dial();
    EXPECT_LT(timer.elapsed(), 10'000);
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back().first, DialUp::kDisconnected);
    EXPECT_FALSE(dialUp->linkUp());
}

TEST_F(PppdDialUpTest, NamesOutsideThePeersFolderNeverReachPppd) {
    writeFile(dir.path() + "/outside", "");
    auto dialUp = backend(kComesUp);
    for (const char* name : {"", "../outside", ".hidden", "missing"}) {
        dialUp->setEntry(name);
        try {
            dialUp->dial();
            ADD_FAILURE() << "dialed '" << name << "'";
        } catch (const gw::NodeError& error) {
            EXPECT_EQ(error.number(), 623) << name;
        }
    }
    EXPECT_EQ(args(), "");
    EXPECT_TRUE(states.empty());
}

TEST_F(PppdDialUpTest, AMissingPppdIsReportedNotHidden) {
    auto dialUp = std::make_unique<PppdDialUp>(
        pump, clock,
        PppdDialUp::Options{peers().toStdString(), (dir.path() + "/no-pppd").toStdString()});
    dialUp->setEntry("isp");
    EXPECT_THROW(dialUp->dial(), gw::NodeError);
    EXPECT_FALSE(dialUp->linkUp());
}

} // namespace
