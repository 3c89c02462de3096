// The main window and start-up object of one node instance: instance checks and heartbeat,
// the stream table with its display, the monitor list, the log file, the View menu and the
// orderly shutdown. The radio side and the setup window are reached through interfaces.
#pragma once

#include "common/clock.h"
#include "common/dialogs.h"
#include "common/settings_store.h"
#include "core/node_log.h"
#include "core/radio_side.h"
#include "core/setup_side.h"
#include "core/stream_table.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

class QAction;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace gw {

class frmAbout;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    frmMain(SettingsStore& settings, const Clock& clock, Dialogs& dialogs,
            QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up up to reading "Initialized": false when the start is refused (the message has
    // been shown and nothing was written).
    bool startUp(const std::string& commandLine);
    // The rest of start-up: hands over to the setup window, which initializes by itself
    // when the last initialization succeeded and otherwise waits for the operator.
    void handOver(RadioSide& radio, SetupSide& setup);

    std::string settingsSection() const { return "Client" + sInstance; }

    // Stream table and TNC events.
    void StatusEvent(const std::string& sStatus);
    void DataEvent(const std::string& sData);
    bool NewStream(const std::string& sStreamID, const std::string& sCall, int nPort);
    bool KillStream(int nStream);
    int Index(const std::string& sStreamID, int nPort) const;
    bool CheckConnection(const std::string& sStreamID, int nPort);

    // Monitor list and log file.
    void MonitorMsg(int nPort, const std::string& sStreamID, const std::string& sMsg);
    void Log(const std::string& sMsg);
    void PostLog(int nStream, const std::string& sMsg);
    void FlushLog();
    NodeLog& nodeLog() { return *m_log; }

    // Timers, menus and buttons.
    void tmrActiveTimer1_Timer();
    void mnuView_Click(int index);
    void btnSavetoLog_Click();

    std::string sInstance;
    bool bLastInitOK = false;
    StreamTable Streams;
    std::int16_t HangUpCountdown = 0;

    QTimer tmrActiveTimer1;
    QGroupBox* fraConnections;
    QGroupBox* fraSysop;
    QLabel* lblRestoring;
    std::array<QLabel*, 10> lblCall{};
    std::array<QLabel*, 10> lblTfc{};
    std::array<QRadioButton*, 10> optMon{};
    QListWidget* lstMonitor;
    QPushButton* btnSavetoLog;
    QLabel* lblCMBO;
    QLabel* lblTNC;
    QLabel* lblLocalIP;
    std::array<QAction*, 5> mnuView{};

    static constexpr int kMonitorLines = 1000;

signals:
    // The shutdown sequence has run; the program ends.
    void ended();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    void shutdown();
    std::string now() const;

    SettingsStore& m_settings;
    const Clock& m_clock;
    Dialogs& m_dialogs;
    RadioSide* m_radio = nullptr;
    SetupSide* m_setup = nullptr;
    std::unique_ptr<NodeLog> m_log;
    QButtonGroup* m_monitorGroup;
    QPointer<frmAbout> m_about;
    bool m_ended = false;
};

} // namespace gw
