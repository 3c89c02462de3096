// The setup window: a view of the setup core. Its controls show the live settings and write
// each edit back at once; its menu, buttons and options call the core; it follows the core's
// progress, check, ping and phone-book state.
#pragma once

#include "common/dialogs.h"
#include "core/node_setup.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace gw {

class frmInitializing;

class frmTNC : public QMainWindow {
    Q_OBJECT
  public:
    // The setup core outlives its view: the view writes into the core's live settings.
    frmTNC(NodeSetup& setup, Dialogs& dialogs, QWidget* parent = nullptr);
    ~frmTNC() override;

    // Setup menu: 1 Initialize, 2 Cancel, 3 Set Password, 4 Check TNC Comm.
    void mnuTNC_Click(int index);
    void ComboType_Click();
    void txtMBOCall_LostFocus();
    // Opens the web console password dialog.
    void cmdWebPassword_Click();
    // The options, buttons and list of the IP link and the ports: each calls the core.
    void optPort1_Click();
    void optPort2_Click();
    void optBoth_Click();
    void optFullTime_Click();
    void optDialUp_Click();
    void optDialBackup_Click();
    void btnPing_Click();
    void btnDisconnect_Click();
    void lstDUN_Click(int row);
    void txtHangUpDelay_Validate();

    frmInitializing* progressWindow() const { return m_progress.get(); }

    QComboBox* ComboPort;
    QComboBox* ComboSpeed;
    QComboBox* ComboLength;
    QComboBox* ComboParity;
    QComboBox* ComboStop;
    QComboBox* ComboType;
    QComboBox* ComboFlow;
    QLineEdit* txtAGWAddress; // type AGW: the modem program's AGW port, host:port
    // Type KISS: the TNC's KISS line and the link the node runs over it.
    QGroupBox* fraKISS;
    QLineEdit* txtKISSAddress;
    QLineEdit* txtKISSTxDelay;
    QLineEdit* txtKISSPersist;
    QLineEdit* txtKISSSlotTime;
    QLineEdit* txtKISSTxTail;
    QCheckBox* chkKISSFullDuplex;
    QLineEdit* txtKISSInitText;
    QCheckBox* chkKISSExit;
    QLineEdit* txtKISSPaclen;
    QLineEdit* txtKISSWindow;
    QLineEdit* txtKISSRetries;
    QLineEdit* txtKISST1;
    QLineEdit* txtKISSIdInterval;
    QLineEdit* txtMBOCall;
    QLineEdit* txtPath;
    QLineEdit* txtIPAddress;
    QLineEdit* txtIPPort; // the server's TCP port, empty for 8773
    QPushButton* btnPing;
    QLabel* lblPing;
    QRadioButton* optFullTime;
    QRadioButton* optDialUp;
    QRadioButton* optDialBackup;
    QListWidget* lstDUN;
    QLabel* lblHangUpDelay;
    QLineEdit* txtHangUpDelay;
    QPushButton* btnDisconnect;
    QGroupBox* fraSerial; // the TNC's frame: its line settings, or the modem program's address
    QCheckBox* chkEnbLog;
    QCheckBox* chkRestore;
    QGroupBox* fraMultiport;
    QRadioButton* optPort1;
    QRadioButton* optPort2;
    QRadioButton* optBoth;
    QLabel* lblCommStatus;
    QPushButton* cmdWebPassword;
    std::array<QAction*, 4> mnuTNC{};

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing the setup window hides it; with the main window hidden the program ends.
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildWindow();
    QGroupBox* buildKissFrame(QWidget* parent);
    void forwardKissEdits();
    void showKissSettings();
    void fillLists();
    void forwardEdits();
    void followSetup();
    void SetPassword();
    // Showing the core's state.
    void showSettings();
    void showPortOption();
    void showCommStatus();
    void showPing();
    void showPhoneBook();
    void showDialUpControls();

    NodeSetup& m_setup;
    Dialogs& m_dialogs;
    std::unique_ptr<frmInitializing> m_progress;
    QButtonGroup* m_ipGroup;
    QButtonGroup* m_portGroup;
    QFormLayout* m_lineForm = nullptr;
    bool m_checkingDelay = false;
};

} // namespace gw
