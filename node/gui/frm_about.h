// The About window: the program's name and version.
#pragma once

#include <QDialog>

class QLabel;

namespace gw {

class frmAbout : public QDialog {
    Q_OBJECT
  public:
    explicit frmAbout(QWidget* parent = nullptr);
    QLabel* lblVersion;
};

} // namespace gw
