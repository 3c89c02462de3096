// The main window as a view of the node's core: the connections table, the server and TNC
// labels, the monitor list, the sysop console and the View menu. It shows the core's state
// and turns the operator's clicks into calls on the core.
#pragma once

#include "common/dialogs.h"
#include "common/user_limit.h"
#include "core/node_core.h"

#include <QMainWindow>
#include <QPointer>
#include <array>

class QAction;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QLineEdit;
class QPlainTextEdit;

namespace gw {

class frmAbout;

class frmMain : public QMainWindow {
    Q_OBJECT
  public:
    frmMain(NodeCore& core, Dialogs& dialogs, QWidget* parent = nullptr);
    ~frmMain() override;

    NodeCore& core() { return m_core; }

    // Sysop console.
    void txtUserCall_LostFocus();
    void cmdList_Click();
    void cmdRead_Click();
    void cmdKill_Click();
    void cmdMessage_Click();

    // Menus and buttons.
    void mnuView_Click(int index);
    void btnSavetoLog_Click();

    QGroupBox* fraConnections;
    QGroupBox* fraSysop;
    QLabel* lblRestoring;
    std::array<QLabel*, kMaxUsers> lblCall{};
    std::array<QLabel*, kMaxUsers> lblTfc{};
    std::array<QRadioButton*, kMaxUsers> optMon{};
    QListWidget* lstMonitor;
    QPushButton* btnSavetoLog;
    QLabel* lblCMBO;
    QLabel* lblTNC;
    QLabel* lblLocalIP;
    std::array<QAction*, 5> mnuView{};
    QLineEdit* txtUserCall;
    QLineEdit* txtMID;
    QLineEdit* txtTo;
    QLineEdit* txtSubject;
    QPlainTextEdit* txtMessage;
    QLineEdit* txtCommand;
    QPlainTextEdit* txtReceived;
    QPushButton* cmdList;
    QPushButton* cmdRead;
    QPushButton* cmdKill;
    QPushButton* cmdMessage;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildWindow();
    QWidget* buildConsole(QWidget* parent);
    void follow();
    void showStream(int index, const std::string& label, bool inUse);
    void showTraffic(int index, Traffic traffic);
    void showServerState(ServerState state);
    void showMonitorLine(const std::string& line);
    void showConsole();
    void showRestoring(const std::string& text);

    NodeCore& m_core;
    Dialogs& m_dialogs;
    QButtonGroup* m_monitorGroup;
    QPointer<frmAbout> m_about;
};

} // namespace gw
