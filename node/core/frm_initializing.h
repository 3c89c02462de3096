// The progress window shown while the serial port and the TNC are initialized; the setup
// window and the drivers append progress lines to its label.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

namespace gw {

class frmInitializing : public QDialog {
    Q_OBJECT
  public:
    explicit frmInitializing(const std::string& sInstance, QWidget* parent = nullptr);

    void setText(const std::string& text);
    // Appends a carriage return and the line, as progress lines are written.
    void appendLine(const std::string& line);
    std::string text() const;

    QLabel* lblInitializing;
    QPushButton* btnClose;
};

} // namespace gw
