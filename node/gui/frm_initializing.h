// The progress window of an initialization: shows the setup core's progress lines while the
// serial port and the TNC are initialized, with Close offered after a failure.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace gw {

class NodeSetup;

class frmInitializing : public QDialog {
    Q_OBJECT
  public:
    explicit frmInitializing(NodeSetup& setup, QWidget* parent = nullptr);

    QLabel* lblInitializing;
    QPushButton* btnClose;

  private:
    void showProgress();

    NodeSetup& m_setup;
};

} // namespace gw
