// The setup window's settings against a real INI file: defaults, encodings, option
// combinations, unconvertible values, save order, separate instances.
#include "setup/frm_tnc.h"

#include "common/paths.h"
#include "core/frm_main.h"
#include "server/frm_brevane.h"
#include "server/server_queues.h"
#include "support/fake_clock.h"
#include "support/fake_event_pump.h"
#include "support/recording_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace gw;

namespace {
class SetupTest : public testing::Test {
  protected:
    QTemporaryDir dir;
    std::string path = dir.path().toStdString() + "/SMS.ini";
    SettingsStore settings = SettingsStore::atFile(path);
    FakeClock clock;
    RecordingDialogs dialogs;

    struct Node {
        ServerQueues queues;
        FakeEventPump pump;
        frmMain main;
        frmBrevane link;
        frmTNC setup;
        Node(SettingsStore& s, FakeClock& c, RecordingDialogs& d, const std::string& instance)
            : pump(c), main(s, c, d, queues),
              link(queues, main, pump, {frmBrevane::kServerPort, false}),
              setup(main, link, {s, c, d, pump}) {
            main.startUp(instance);
            main.handOver(setup, setup);
        }
    };
    std::unique_ptr<Node> start(const std::string& instance = "1") {
        return std::make_unique<Node>(settings, clock, dialogs, instance);
    }
    QStringList keys(const char* section) {
        QSettings ini(QString::fromStdString(path), QSettings::IniFormat);
        ini.beginGroup(section);
        return ini.childKeys();
    }
};
} // namespace

TEST_F(SetupTest, FreshInstanceShowsDefaultsAndWritesOnlyHeartbeat) {
    auto node = start("4");
    frmTNC& s = node->setup;
    EXPECT_EQ(s.windowTitle(), "Corvale Gullwick Instance 4");
    EXPECT_EQ(s.ComboPort->currentText(), "1");
    EXPECT_EQ(s.ComboSpeed->currentText(), "9600");
    EXPECT_EQ(s.ComboLength->currentText(), "8");
    EXPECT_EQ(s.ComboParity->currentText(), "N");
    EXPECT_EQ(s.ComboStop->currentText(), "1");
    EXPECT_EQ(s.ComboType->currentText(), "KPC3");
    EXPECT_EQ(s.ComboFlow->currentText(), "RTS/CTS");
    EXPECT_EQ(s.txtPath->text().toStdString(), defaultFileFolder());
    EXPECT_EQ(s.txtIPAddress->text(), "127.0.0.1");
    EXPECT_TRUE(s.chkEnbLog->isChecked());
    EXPECT_TRUE(s.chkRestore->isChecked());
    EXPECT_TRUE(s.optFullTime->isChecked());
    EXPECT_TRUE(s.optPort1->isChecked());
    EXPECT_TRUE(s.bPort1());
    EXPECT_FALSE(s.bPort2());
    EXPECT_EQ(s.DUNIndex, -1);
    EXPECT_EQ(s.txtHangUpDelay->text(), "1");
    EXPECT_FALSE(s.lstDUN->isVisibleTo(&s));
    EXPECT_EQ(keys("Client4"), QStringList{"Active"});
    EXPECT_EQ(s.ComboType->count(), 10); // nine hardware TNC types, then AGW
    EXPECT_EQ(s.ComboParity->itemText(1), "M");
    EXPECT_EQ(s.ComboStop->itemText(1), "1.5");
}

TEST_F(SetupTest, ConnectionTypeFromTwoBooleans) {
    settings.write("Client1", "IPType", "False");
    settings.write("Client1", "DialType", "False");
    EXPECT_TRUE(start()->setup.optDialBackup->isChecked());
    settings.write("Client1", "DialType", "True");
    auto node = start();
    EXPECT_TRUE(node->setup.optDialUp->isChecked());
    EXPECT_TRUE(node->setup.lstDUN->isVisibleTo(&node->setup));
    settings.write("Client1", "IPType", "true");
    settings.write("Client1", "DialType", "False");
    EXPECT_TRUE(start()->setup.optFullTime->isChecked());
}

TEST_F(SetupTest, PortOptionsFromTwoBooleans) {
    settings.write("Client1", "Port1", "False");
    settings.write("Client1", "Port2", "False");
    auto none = start();
    EXPECT_FALSE(none->setup.optPort1->isChecked() || none->setup.optPort2->isChecked() ||
                 none->setup.optBoth->isChecked());
    EXPECT_FALSE(none->setup.bPort1() || none->setup.bPort2());
    settings.write("Client1", "Port2", "True");
    EXPECT_TRUE(start()->setup.optPort2->isChecked());
    settings.write("Client1", "Port1", "-1");
    auto both = start();
    EXPECT_TRUE(both->setup.optBoth->isChecked());
    EXPECT_TRUE(both->setup.bPort1() && both->setup.bPort2());
}

TEST_F(SetupTest, UnconvertibleValuesFallBackToDefaults) {
    settings.write("Client1", "Port1", "maybe");
    settings.write("Client1", "EnableLog", "on");
    settings.write("Client1", "Restore", "x");
    settings.write("Client1", "IPType", "dunno");
    settings.write("Client1", "DUNIndex", "first");
    auto node = start();
    EXPECT_TRUE(node->setup.bPort1());
    EXPECT_TRUE(node->setup.chkEnbLog->isChecked());
    EXPECT_TRUE(node->setup.chkRestore->isChecked());
    EXPECT_TRUE(node->setup.optFullTime->isChecked());
    EXPECT_EQ(node->setup.DUNIndex, -1);
}

TEST_F(SetupTest, SaveWritesEveryKeyInItsEncoding) {
    auto node = start();
    frmTNC& s = node->setup;
    s.txtMBOCall->setText("k4abc-5");
    s.txtPath->setText("  /srv/node/  ");
    s.txtIPAddress->setText(" 10.0.0.5 ");
    s.ComboSpeed->setEditText("115200");
    s.ComboType->setEditText("KPC5");
    s.chkEnbLog->setChecked(false);
    s.optBoth->click();
    s.optDialBackup->click();
    s.txtHangUpDelay->setText("7");
    s.mnuTNC_Click(1);
    EXPECT_EQ(settings.read("Client1", "MBOCall", ""), "K4ABC-5");
    EXPECT_EQ(settings.read("Client1", "InitFilePath", ""), "/srv/node/");
    EXPECT_EQ(settings.read("Client1", "IPAddress", ""), " 10.0.0.5 ");
    EXPECT_EQ(settings.read("Client1", "BaudRate", ""), "115200");
    EXPECT_EQ(settings.read("Client1", "TNCType", ""), "KPC5");
    EXPECT_EQ(settings.read("Client1", "EnableLog", ""), "0");
    EXPECT_EQ(settings.read("Client1", "Restore", ""), "1");
    EXPECT_EQ(settings.read("Client1", "Port1", ""), "True");
    EXPECT_EQ(settings.read("Client1", "Port2", ""), "True");
    EXPECT_EQ(settings.read("Client1", "IPType", ""), "False");
    EXPECT_EQ(settings.read("Client1", "DialType", ""), "False");
    EXPECT_EQ(settings.read("Client1", "DUNIndex", ""), "-1");
    EXPECT_EQ(settings.read("Client1", "HangUpDelay", ""), "7");
    EXPECT_EQ(settings.read("Client1", "Password", "absent"), "absent");

    auto again = start();
    EXPECT_EQ(again->setup.txtIPAddress->text(), "10.0.0.5") << "loaded without surrounding blanks";
    EXPECT_EQ(again->setup.ComboSpeed->currentText(), "115200");
    EXPECT_EQ(again->setup.ComboType->currentText(), "KPC5");
    EXPECT_TRUE(again->setup.optDialBackup->isChecked());
}

TEST_F(SetupTest, DialUpWithoutPhoneBookEntrySavesNothing) {
    auto node = start();
    node->setup.optDialUp->click();
    node->setup.txtMBOCall->setText("N0CALL");
    node->setup.mnuTNC_Click(1);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].title, "Select Phone Book Entry");
    EXPECT_EQ(dialogs.shown()[0].text,
              "You must select a valid phone book entry for the Dial Up Network Connection");
    EXPECT_EQ(settings.read("Client1", "MBOCall", "absent"), "absent");
}

TEST_F(SetupTest, InitializeRefusesAnEmptyCallSignAndADelayOutOfRange) {
    auto node = start();
    node->setup.txtMBOCall->setText(" ");
    node->setup.mnuTNC_Click(1);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Node Call Sign required");
    // The delay refused on leaving the box is refused again by Initialize, never saved.
    node->setup.txtMBOCall->setText("N0CALL");
    node->setup.txtHangUpDelay->setText("40000");
    node->setup.mnuTNC_Click(1);
    EXPECT_EQ(dialogs.shown().back().title, "Delay out of range!");
    EXPECT_EQ(settings.read("Client1", "HangUpDelay", "absent"), "absent");
    EXPECT_EQ(settings.read("Client1", "MBOCall", "absent"), "absent");
    // A stored delay out of range loads as the default; a folder without its "/" gets one.
    settings.write("Client2", "HangUpDelay", "40000");
    settings.write("Client2", "InitFilePath", "/srv/node");
    auto two = start("2");
    EXPECT_EQ(two->setup.txtHangUpDelay->text(), "1");
    EXPECT_EQ(two->setup.dispatch().txtPath(), "/srv/node/");
}

TEST_F(SetupTest, InstancesKeepSeparateSections) {
    auto one = start("1");
    one->setup.txtMBOCall->setText("N0CALL");
    one->setup.mnuTNC_Click(1);
    auto two = start("2");
    two->setup.txtMBOCall->setText("K4ABC");
    two->setup.mnuTNC_Click(1);
    EXPECT_EQ(settings.read("Client1", "MBOCall", ""), "N0CALL");
    EXPECT_EQ(settings.read("Client2", "MBOCall", ""), "K4ABC");
}

TEST_F(SetupTest, HangUpDelayCheck) {
    auto node = start();
    frmTNC& s = node->setup;
    for (const char* ok : {"0", "120", "2.5"}) {
        s.txtHangUpDelay->setText(ok);
        EXPECT_TRUE(s.txtHangUpDelay_Validate()) << ok;
    }
    EXPECT_TRUE(dialogs.shown().empty());
    const std::pair<const char*, const char*> refused[] = {
        {"121", "Delay out of range!"}, {"-1", "Delay out of range!"}, {"x", "Delay not valid!"}};
    for (const auto& [text, title] : refused) {
        s.txtHangUpDelay->setText(text);
        EXPECT_FALSE(s.txtHangUpDelay_Validate()) << text;
        EXPECT_EQ(dialogs.shown().back().title, title);
        EXPECT_EQ(dialogs.shown().back().text, "Enter hang up delay 0 - 120 minutes!");
    }
}

TEST_F(SetupTest, OptionHandlers) {
    auto node = start();
    frmTNC& s = node->setup;
    s.ComboType->setEditText("KAM");
    EXPECT_TRUE(s.fraMultiport->isVisibleTo(&s));
    s.ComboType->setEditText("TNC2");
    EXPECT_TRUE(s.fraMultiport->isVisibleTo(&s)) << "other types keep the frame as it was";
    s.ComboType->setEditText("KPC3");
    EXPECT_FALSE(s.fraMultiport->isVisibleTo(&s));
    s.optPort2->click();
    EXPECT_FALSE(s.bPort1());
    EXPECT_TRUE(s.bPort2());
    s.txtMBOCall->setText("n0call-2");
    s.txtMBOCall_LostFocus();
    EXPECT_EQ(s.txtMBOCall->text(), "N0CALL-2");
    s.optDialUp->click();
    EXPECT_TRUE(s.txtHangUpDelay->isVisibleTo(&s));
    s.optFullTime->click();
    EXPECT_FALSE(s.txtHangUpDelay->isVisibleTo(&s));
}

TEST_F(SetupTest, CancelShowsMainWindowAndSavesNothing) {
    auto node = start();
    node->setup.txtMBOCall->setText("N0CALL");
    node->setup.mnuTNC_Click(2);
    EXPECT_TRUE(node->main.isVisible());
    EXPECT_FALSE(node->setup.isVisible());
    EXPECT_EQ(settings.read("Client1", "MBOCall", "absent"), "absent");
}

TEST_F(SetupTest, ClosingSetupWhileMainWindowIsHiddenEndsTheProgram) {
    auto node = start();
    bool ended = false;
    QObject::connect(&node->main, &frmMain::ended, [&] { ended = true; });
    ASSERT_FALSE(node->main.isVisible());
    node->setup.close();
    EXPECT_TRUE(ended);
    EXPECT_EQ(settings.read("Client1", "Active", ""), "0");
}

TEST_F(SetupTest, ClosingSetupWhileTheNodeRunsOnlyHidesIt) {
    auto node = start();
    node->setup.mnuTNC_Click(2);
    bool ended = false;
    QObject::connect(&node->main, &frmMain::ended, [&] { ended = true; });
    node->setup.showSetup();
    node->setup.close();
    EXPECT_FALSE(ended);
    EXPECT_FALSE(node->setup.isVisible());
    EXPECT_TRUE(node->main.isVisible());
}
