// The setup core with type AGW against tncsim's AGW modem program: Initialize and Restore,
// and Check TNC Comm testing the address typed rather than the one stored.
#include "core/node_setup.h"

#include "core/frm_main.h"
#include "server/frm_brevane.h"
#include "server/server_queues.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace gw;

namespace {
class AgwSetup : public testing::Test {
  protected:
    QTemporaryDir dir;
    SettingsStore settings = SettingsStore::atFile(dir.path().toStdString() + "/SMS.ini");
    SystemClock clock;
    RecordingDialogs dialogs;
    QtEventPump pump;
    ServerQueues queues;
    QProcess sim;
    std::string simOutput;
    std::string simAddress;
    std::unique_ptr<frmMain> main;
    std::unique_ptr<frmBrevane> link;
    std::unique_ptr<NodeSetup> setup;

    void SetUp() override {
        settings.write("Client1", "MBOCall", "N0CALL");
        settings.write("Client1", "InitFilePath", dir.path().toStdString() + "/");
        settings.write("Client1", "TNCType", "AGW");
    }
    void TearDown() override {
        setup.reset();
        link.reset();
        main.reset();
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            sim.waitForFinished(3000);
        }
    }
    bool simSays(const std::string& text) {
        for (int i = 0; i < 100 && simOutput.find(text) == std::string::npos; ++i) {
            sim.waitForReadyRead(100);
            simOutput += sim.readAllStandardOutput().toStdString();
        }
        return simOutput.find(text) != std::string::npos;
    }
    // tncsim's modem program; simAddress is where it listens.
    void startSim() {
        sim.start(QStringLiteral(TNCSIM_PATH), {"--type", "AGW"});
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(simSays("tncsim AGW on 127.0.0.1:")) << simOutput;
        const std::size_t at = simOutput.find("127.0.0.1:");
        simAddress = simOutput.substr(at, simOutput.find('\n', at) - at);
    }
    void startNode() {
        main = std::make_unique<frmMain>(settings, clock, dialogs, queues);
        ASSERT_TRUE(main->startUp("1"));
        link = std::make_unique<frmBrevane>(queues, *main, pump,
                                            frmBrevane::Options{frmBrevane::kServerPort, false});
        setup = std::make_unique<NodeSetup>(*main, *link,
                                            NodeSetup::Services{settings, clock, dialogs, pump});
        main->handOver(*setup, *setup);
    }
    std::string logText() const {
        QFile file(dir.path() + "/N0CALL_1_" + QDate::currentDate().toString("MM") + ".log");
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
    }
};
} // namespace

TEST_F(AgwSetup, InitializeRegistersTheNodeAndRestoreUnregisters) {
    startSim();
    settings.write("Client1", "AGWAddress", simAddress);
    settings.write("Client1", "CommPort", "7"); // kept for the serial types, not opened
    startNode();
    setup->Initialize();
    ASSERT_TRUE(main->bLastInitOK) << setup->progressText();
    EXPECT_EQ(main->lblTNC->text().toStdString(), "AGW OK on " + simAddress);
    EXPECT_EQ(main->lblCall[0]->text(), "1/A");
    EXPECT_EQ(main->lblCall[9]->text(), "1/J");
    EXPECT_TRUE(setup->portOpen());
    EXPECT_FALSE(setup->Serial.PortOpen());
    EXPECT_NE(logText().find("  AGW on " + simAddress + " initialized @ "), std::string::npos)
        << logText();
    EXPECT_EQ(settings.read("Client1", "CommPort", ""), "7");
    EXPECT_TRUE(simSays("tnc: registered N0CALL")) << simOutput;
    setup->Restore();
    EXPECT_TRUE(simSays("tnc: unregistered N0CALL")) << simOutput;
    EXPECT_FALSE(setup->portOpen());
}

// The check runs on what the operator has typed, before anything is saved.
TEST_F(AgwSetup, CheckTncCommTestsTheAddressTypedNotTheOneStored) {
    startSim();
    const std::string nobody = "127.0.0.1:1";
    settings.write("Client1", "AGWAddress", nobody);
    startNode();
    setup->live().agwAddress = simAddress;
    setup->CheckTncComm();
    EXPECT_EQ(setup->commStatus().text, "TNC Comm OK!");
    EXPECT_EQ(settings.read("Client1", "AGWAddress", ""), nobody) << "nothing saved";

    settings.write("Client1", "AGWAddress", simAddress);
    setup->live().agwAddress = nobody;
    setup->CheckTncComm();
    EXPECT_EQ(setup->commStatus().text, "TNC Comm Fail!");
    EXPECT_EQ(setup->commStatus().colour, StatusColour::LightRed);
}
