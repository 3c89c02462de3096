// The setup window with type AGW: the type in the list, the address box and the modem
// program's texts in place of the serial settings, Initialize and Restore against tncsim's AGW
// modem program, and a failure text shown whole.
#include "setup/frm_tnc.h"

#include "common/colours.h"
#include "core/frm_initializing.h"
#include "core/frm_main.h"
#include "server/frm_brevane.h"
#include "server/server_queues.h"
#include "support/recording_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTcpServer>
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
    std::unique_ptr<frmMain> main;
    std::unique_ptr<frmBrevane> link;
    std::unique_ptr<frmTNC> setup;

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
    void startNode() {
        main = std::make_unique<frmMain>(settings, clock, dialogs, queues);
        ASSERT_TRUE(main->startUp("1"));
        link = std::make_unique<frmBrevane>(queues, *main, pump,
                                            frmBrevane::Options{frmBrevane::kServerPort, false});
        setup = std::make_unique<frmTNC>(*main, *link,
                                         frmTNC::Services{settings, clock, dialogs, pump});
        main->handOver(*setup, *setup);
    }
    std::string logText() const {
        QFile file(dir.path() + "/N0CALL_1_" + QDate::currentDate().toString("MM") + ".log");
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
    }
};
} // namespace

TEST_F(AgwSetup, TheAddressBoxStandsInForTheSerialSettings) {
    startNode();
    const int count = setup->ComboType->count();
    ASSERT_GE(count, 2);
    EXPECT_EQ(setup->ComboType->itemText(count - 2), "MFJ1274");
    EXPECT_EQ(setup->ComboType->itemText(count - 1), "AGW");
    EXPECT_EQ(setup->txtAGWAddress->text(), "127.0.0.1:8000");
    EXPECT_TRUE(setup->txtAGWAddress->isVisibleTo(setup.get()));
    EXPECT_FALSE(setup->ComboPort->isVisibleTo(setup.get()));
    EXPECT_TRUE(setup->fraMultiport->isVisibleTo(setup.get()));
    EXPECT_EQ(setup->fraSerial->title(), "Modem program (AGW) and node");
    EXPECT_FALSE(setup->chkRestore->isVisibleTo(setup.get()));
    EXPECT_EQ(setup->optPort1->text(), "Port 1 (AGW 0)");
    EXPECT_EQ(setup->optPort2->text(), "Port 2 (AGW 1)");
    setup->ComboType->setEditText("KPC9612");
    EXPECT_FALSE(setup->txtAGWAddress->isVisibleTo(setup.get()));
    EXPECT_TRUE(setup->ComboPort->isVisibleTo(setup.get()));
    EXPECT_EQ(setup->fraSerial->title(), "Serial port and TNC");
    EXPECT_TRUE(setup->chkRestore->isVisibleTo(setup.get()));
    EXPECT_EQ(setup->optPort1->text(), "Port 1");
    EXPECT_EQ(setup->optPort2->toolTip(), "Select Port 2 only on this TNC");
}

TEST_F(AgwSetup, ALongFailureTextIsShownWholeInTheProgressWindow) {
    quint16 closed = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        closed = probe.serverPort();
    }
    settings.write("Client1", "AGWAddress", "127.0.0.1:" + std::to_string(closed));
    startNode();
    setup->mnuTNC_Click(1);
    ASSERT_FALSE(main->bLastInitOK);
    frmInitializing* progress = setup->progressWindow();
    ASSERT_TRUE(progress->isVisible());
    QCoreApplication::processEvents();
    const QLabel* label = progress->lblInitializing;
    EXPECT_TRUE(label->text().contains("is the modem program running with AGWPORT " +
                                       QString::number(closed) + "?"))
        << label->text().toStdString();
    const QRect room = label->contentsRect();
    const QRect needed = label->fontMetrics().boundingRect(
        room, static_cast<int>(label->alignment()) | Qt::TextWordWrap, label->text());
    EXPECT_LE(needed.width(), room.width()) << label->text().toStdString();
    EXPECT_LE(needed.height(), room.height()) << label->text().toStdString();
}

TEST_F(AgwSetup, InitializeRegistersTheNodeAndRestoreUnregisters) {
    sim.start(QStringLiteral(TNCSIM_PATH), {"--type", "AGW"});
    ASSERT_TRUE(sim.waitForStarted(5000));
    ASSERT_TRUE(simSays("tncsim AGW on 127.0.0.1:")) << simOutput;
    const std::size_t at = simOutput.find("127.0.0.1:");
    const std::string address = simOutput.substr(at, simOutput.find('\n', at) - at);
    settings.write("Client1", "AGWAddress", address);
    settings.write("Client1", "CommPort", "7"); // kept for the serial types, not opened
    startNode();
    setup->mnuTNC_Click(1);
    ASSERT_TRUE(main->bLastInitOK) << setup->progressWindow()->text();
    EXPECT_EQ(main->lblTNC->text().toStdString(), "AGW OK on " + address);
    EXPECT_EQ(backgroundOf(main->lblTNC), kLightGreen);
    EXPECT_EQ(main->lblCall[0]->text(), "1/A");
    EXPECT_EQ(main->lblCall[9]->text(), "1/J");
    EXPECT_TRUE(setup->portOpen());
    EXPECT_FALSE(setup->Serial.PortOpen());
    EXPECT_NE(logText().find("  AGW on " + address + " initialized @ "), std::string::npos)
        << logText();
    EXPECT_EQ(settings.read("Client1", "CommPort", ""), "7");
    EXPECT_TRUE(simSays("tnc: registered N0CALL")) << simOutput;
    setup->Restore();
    EXPECT_TRUE(simSays("tnc: unregistered N0CALL")) << simOutput;
    EXPECT_FALSE(setup->portOpen());
}
