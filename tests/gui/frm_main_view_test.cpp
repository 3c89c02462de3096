// The main window as a view: it shows what the core tells it (caption, connections table,
// server indicator, monitor list, restore at shutdown) and hands the operator's clicks on.
#include "gui/colours.h"
#include "gui/frm_main.h"
#include "main_fixture.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>

using namespace gw;
using namespace gw::test;

namespace {
class FrmMainView : public NodeCoreTest {
  protected:
    std::unique_ptr<frmMain> view;

    void SetUp() override {
        view = std::make_unique<frmMain>(core, dialogs);
        view->show();
        NodeCoreTest::SetUp();
    }
};
} // namespace

TEST_F(FrmMainView, CaptionAndHiddenWhileTheSetupWaitsForTheOperator) {
    EXPECT_FALSE(view->isVisible()) << "the last initialization failed: the setup comes first";
    frmMain second(core, dialogs);
    EXPECT_EQ(second.windowTitle(), "Corvale Brevane (1)");
}

TEST_F(FrmMainView, ConnectionsTableFollowsTheStreams) {
    view->optMon[0]->setChecked(true);
    core.StatusEvent("S1A*** CONNECTED to N0CALL");
    EXPECT_EQ(view->lblCall[0]->text(), "1/A       N0CALL");
    EXPECT_EQ(backgroundOf(view->lblCall[0]), kLightYellow);
    EXPECT_EQ(backgroundOf(view->lblCMBO), kLightYellow);
    core.DataEvent("D1Ahello\r");
    EXPECT_EQ(view->lblTfc[0]->text(), "  ------>");
    EXPECT_EQ(backgroundOf(view->lblTfc[0]), kLightRed);
    core.showOutgoingTraffic(1);
    EXPECT_EQ(view->lblTfc[0]->text(), "  <------");
    EXPECT_EQ(backgroundOf(view->lblTfc[0]), kLightGreen);
    core.setTncStatus("KPC3 Initialized", true);
    EXPECT_EQ(view->lblTNC->text(), "KPC3 Initialized");
    EXPECT_EQ(backgroundOf(view->lblTNC), kLightGreen);

    ASSERT_EQ(view->lstMonitor->count(), 2);
    EXPECT_EQ(view->lstMonitor->item(0)->text().toStdString(),
              "1/A:  CONNECTED to N0CALL @ " + stamp());
    EXPECT_EQ(view->lstMonitor->currentRow(), 1);

    core.StatusEvent("S1A*** DISCONNECTED");
    EXPECT_EQ(view->lblCall[0]->text(), "1/A");
    EXPECT_FALSE(backgroundOf(view->lblCall[0]).has_value());
    EXPECT_EQ(view->lblTfc[0]->text(), "");
    EXPECT_FALSE(backgroundOf(view->lblTfc[0]).has_value());
}

TEST_F(FrmMainView, ExitAsksAndCancelKeepsRunning) {
    dialogs.queueAnswer(DialogAnswer::Cancel);
    view->mnuView_Click(5);
    EXPECT_EQ(dialogs.shown().back().title, "Exit Gullwick");
    EXPECT_EQ(dialogs.shown().back().text, "Are you sure you want to exit of Gullwick?");
    EXPECT_FALSE(core.hasEnded());
}

TEST_F(FrmMainView, ClosingStopsTheNodeAndShowsTheRestore) {
    core.setLastInitOK(true);
    view->mnuView_Click(5);
    EXPECT_TRUE(core.hasEnded());
    EXPECT_FALSE(view->fraConnections->isVisible());
    EXPECT_TRUE(view->lblRestoring->isVisibleTo(view.get()));
    EXPECT_EQ(view->lblRestoring->text(), "Restoring KPC3 ...Please wait.");
    EXPECT_EQ(setup.calls, (std::vector<std::string>{"loadSetup", "Restore", "unloadSetup"}));
}
