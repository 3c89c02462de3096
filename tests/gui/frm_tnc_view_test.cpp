// The setup window as a view of the setup core: it shows the loaded live settings, writes the
// operator's edits back at once, passes clicks on, follows the core's states, its progress
// window shows a long failure text whole, its web password dialog stores an accepted one, and
// the main window and the status page show the same server state.
#include "gui/frm_tnc.h"

#include "gui/colours.h"
#include "gui/frm_initializing.h"
#include "gui/frm_main.h"
#include "gui/frm_tnc_web_password.h"
#include "setup/web_password.h"
#include "support/core_rig.h"
#include "web/web_status.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace gw;

namespace {
class SetupView : public CoreRig<SystemClock, QtEventPump> {
  protected:
    std::unique_ptr<frmTNC> window;
    ScriptedDialUp* dialUp = nullptr;

    void SetUp() override {
        settings.write("Client4", "InitFilePath", dir.path().toStdString() + "/");
    }
    void start() {
        ASSERT_TRUE(startCore("4"));
        dialUp = &scriptDialUp({"Home", "Work"});
        window = std::make_unique<frmTNC>(*setup, dialogs);
        core->handOver(*setup, *setup);
    }
    bool shown(const QWidget* widget) const { return widget->isVisibleTo(window.get()); }
};
} // namespace

TEST_F(SetupView, ShowsTheLoadedLiveSettings) {
    settings.write("Client4", "MBOCall", "N0CALL");
    settings.write("Client4", "Port1", "False");
    settings.write("Client4", "Port2", "True");
    settings.write("Client4", "IPType", "False");
    settings.write("Client4", "DUNIndex", "1");
    settings.write("Client4", "EnableLog", "0");
    settings.write("Client4", "IPPort", "8999");
    start();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Corvale Gullwick Instance 4");
    EXPECT_EQ(window->ComboType->count(), 11); // nine hardware TNC types, then AGW and KISS
    EXPECT_EQ(window->ComboParity->itemText(1), "M");
    EXPECT_EQ(window->ComboStop->itemText(1), "1.5");
    EXPECT_EQ(window->txtMBOCall->text(), "N0CALL");
    EXPECT_EQ(window->txtIPPort->text(), "8999");
    EXPECT_FALSE(window->chkEnbLog->isChecked());
    EXPECT_TRUE(window->optPort2->isChecked());
    EXPECT_TRUE(window->optDialUp->isChecked());
    EXPECT_TRUE(shown(window->lstDUN));
    ASSERT_EQ(window->lstDUN->count(), 2);
    EXPECT_EQ(window->lstDUN->currentRow(), 1);
    EXPECT_FALSE(shown(window->fraMultiport));
}

TEST_F(SetupView, ForwardsTheOperatorsEditsAndClicks) {
    start();
    frmTNC& w = *window;
    const LiveSettings& live = setup->live();
    const std::pair<QLineEdit*, const std::string*> boxes[] = {
        {w.txtAGWAddress, &live.agwAddress},   {w.txtPath, &live.initFilePath},
        {w.txtIPAddress, &live.ipAddress},     {w.txtIPPort, &live.ipPort},
        {w.txtHangUpDelay, &live.hangUpDelay}, {w.txtMBOCall, &live.mboCall}};
    for (const auto& [box, value] : boxes) {
        box->setText("typed in " + box->objectName());
        EXPECT_EQ(*value, "typed in " + box->objectName().toStdString());
    }
    w.ComboSpeed->setEditText("4800");
    EXPECT_EQ(live.baudRate, "4800");
    w.chkRestore->setChecked(false);
    EXPECT_FALSE(live.restore);
    w.txtMBOCall->setText("n0call-2");
    w.txtMBOCall_LostFocus();
    EXPECT_EQ(live.mboCall, "N0CALL-2");
    w.optBoth->click();
    EXPECT_TRUE(live.port1 && live.port2);
    w.optDialBackup->click();
    EXPECT_EQ(live.ipLink, IpLinkType::DialBackup);
    EXPECT_TRUE(shown(w.txtHangUpDelay));
    ASSERT_EQ(w.lstDUN->count(), 2);
    w.lstDUN->setCurrentRow(1);
    EXPECT_EQ(live.dunIndex, 1);
    EXPECT_EQ(dialUp->entry(), "Work");
    w.optFullTime->click();
    EXPECT_FALSE(shown(w.lstDUN));
    // An empty server address is no answer: the ping label shows the failure.
    w.txtIPAddress->clear();
    w.btnPing->click();
    EXPECT_EQ(w.lblPing->text(), "Fail!");
    EXPECT_EQ(backgroundOf(w.lblPing), kLightRed);
    // The refusal of a delay typed out of range comes from the core.
    dialogs.clear();
    w.txtHangUpDelay->setText("121");
    w.mnuTNC_Click(1);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].title, "Delay out of range!");
    EXPECT_EQ(settings.read("Client4", "HangUpDelay", "absent"), "absent");
    // Cancel shows the main window and saves nothing; closing the window then only hides it.
    bool ended = false;
    QObject::connect(core.get(), &NodeCore::ended, [&] { ended = true; });
    w.mnuTNC_Click(2);
    EXPECT_TRUE(core->hasLeftSetup());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(settings.read("Client4", "MBOCall", "absent"), "absent");
    setup->openSetup();
    w.close();
    EXPECT_FALSE(ended);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(SetupView, WebPasswordDialogStoresOnlyAnAcceptedPasswordAsItsHash) {
    start();
    bool opened = false;
    // The dialog runs modal: the steps run inside it, and it is closed whatever they find.
    QTimer::singleShot(0, window.get(), [&] {
        auto* dialog = window->findChild<frmWebPassword*>();
        ASSERT_NE(dialog, nullptr);
        opened = dialog->isVisible();
        const auto save = [&](const QString& first, const QString& second) {
            dialog->txtWebPassword1->setText(first);
            dialog->txtWebPassword2->setText(second);
            dialog->btnSave_Click();
        };
        save("correct horse", "correct horsE");
        save("short", "short");
        EXPECT_EQ(settings.read("Client4", kWebPasswordKey, ""), "");
        ASSERT_EQ(dialogs.shown().size(), 2u);
        EXPECT_EQ(dialogs.shown()[0].text, "The two passwords differ.");
        EXPECT_EQ(dialogs.shown()[1].text, webPasswordProblem("short"));
        EXPECT_TRUE(dialog->isVisible()) << "a refusal keeps the dialog open";
        save("c\u00f6rrect horse", "c\u00f6rrect horse");
        EXPECT_FALSE(dialog->isVisible());
        dialog->reject();
    });
    window->cmdWebPassword->click();
    EXPECT_TRUE(opened);
    EXPECT_EQ(dialogs.shown().size(), 2u);
    EXPECT_TRUE(
        verifyWebPassword("c\xc3\xb6rrect horse", settings.read("Client4", kWebPasswordKey, "")))
        << "stored as the hash of the UTF-8 text";
}

TEST_F(SetupView, ClosingTheWindowWhileTheMainWindowIsHiddenEndsTheProgram) {
    start();
    bool ended = false;
    QObject::connect(core.get(), &NodeCore::ended, [&] { ended = true; });
    ASSERT_FALSE(core->hasLeftSetup());
    window->close();
    EXPECT_TRUE(ended);
    EXPECT_EQ(settings.read("Client4", "Active", ""), "0");
}

TEST_F(SetupView, TheTypeChoosesTheControlsAndTexts) {
    settings.write("Client4", "TNCType", "AGW");
    start();
    frmTNC& w = *window;
    EXPECT_EQ(w.ComboType->itemText(9), "AGW");
    EXPECT_EQ(w.txtAGWAddress->text(), "127.0.0.1:8000");
    EXPECT_TRUE(shown(w.txtAGWAddress));
    EXPECT_FALSE(shown(w.ComboPort));
    EXPECT_FALSE(shown(w.chkRestore));
    EXPECT_TRUE(shown(w.fraMultiport));
    EXPECT_EQ(w.fraSerial->title(), "Modem program (AGW) and node");
    EXPECT_EQ(w.optPort1->text(), "Port 1 (AGW 0)");
    EXPECT_EQ(w.optPort2->text(), "Port 2 (AGW 1)");
    w.ComboType->setEditText("TNC2");
    EXPECT_TRUE(shown(w.fraMultiport)) << "other types keep the frame as it was";
    EXPECT_FALSE(shown(w.txtAGWAddress));
    EXPECT_TRUE(shown(w.ComboPort));
    EXPECT_TRUE(shown(w.chkRestore));
    EXPECT_EQ(w.fraSerial->title(), "Serial port and TNC");
    EXPECT_EQ(w.optPort1->text(), "Port 1");
    EXPECT_EQ(w.optPort2->toolTip(), "Select Port 2 only on this TNC");
    w.ComboType->setEditText("KISS");
    EXPECT_TRUE(shown(w.fraKISS));
    EXPECT_TRUE(shown(w.ComboPort)) << "a KISS TNC is on the serial port unless its address says";
    EXPECT_FALSE(shown(w.chkRestore));
    EXPECT_EQ(w.optPort2->text(), "Port 2 (KISS 1)");
    EXPECT_EQ(w.txtKISSWindow->text(), "4");
    w.txtKISSWindow->setText("7");
    w.chkKISSExit->setChecked(true);
    EXPECT_EQ(setup->live().kiss.window, "7");
    EXPECT_TRUE(setup->live().kiss.exitKiss);
    w.ComboType->setEditText("KPC3");
    EXPECT_FALSE(shown(w.fraMultiport));
    EXPECT_FALSE(shown(w.fraKISS));
    EXPECT_EQ(setup->tncType(), "KPC3");
}

TEST_F(SetupView, AFailureIsShownWholeInTheProgressWindowAndTheCheckLabel) {
    settings.write("Client4", "MBOCall", "N0CALL");
    settings.write("Client4", "TNCType", "AGW");
    settings.write("Client4", "AGWAddress", "127.0.0.1:1"); // nobody listens
    start();
    window->mnuTNC_Click(1);
    ASSERT_FALSE(core->lastInitOK());
    frmInitializing* progress = window->progressWindow();
    ASSERT_TRUE(progress->isVisible());
    EXPECT_TRUE(progress->btnClose->isVisibleTo(progress));
    QCoreApplication::processEvents();
    const QLabel* label = progress->lblInitializing;
    EXPECT_TRUE(label->text().contains("is the modem program running with AGWPORT 1?"))
        << label->text().toStdString();
    const QRect room = label->contentsRect();
    const QRect needed = label->fontMetrics().boundingRect(
        room, static_cast<int>(label->alignment()) | Qt::TextWordWrap, label->text());
    EXPECT_LE(needed.width(), room.width()) << label->text().toStdString();
    EXPECT_LE(needed.height(), room.height()) << label->text().toStdString();
    progress->btnClose->click();
    EXPECT_FALSE(progress->isVisible());

    window->mnuTNC_Click(4);
    EXPECT_TRUE(shown(window->lblCommStatus));
    EXPECT_EQ(window->lblCommStatus->text(), "TNC Comm Fail!");
    EXPECT_EQ(backgroundOf(window->lblCommStatus), kLightRed);
}

TEST_F(SetupView, TheMainWindowAndTheStatusPageAgreeOnAServerThatFailedItsCheck) {
    // No server address: the IP link check at the user's connect fails.
    settings.write("Client4", "IPAddress", "");
    start();
    frmMain main(*core, dialogs);
    core->StatusEvent("S1A*** CONNECTED to N0CALL");
    EXPECT_EQ(backgroundOf(main.lblCMBO), kLightRed);
    const QJsonObject server = statusJson(*core, *setup, clock)["server"].toObject();
    EXPECT_EQ(server["indicator"].toString().toStdString(), "unreachable");
}
