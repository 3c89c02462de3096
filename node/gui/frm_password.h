// The password window: the node's password, 4 to 12 characters, stored in upper case.
// While the box shows the mask of the stored password, a key press replaces the mask and
// Save keeps the stored password.
#pragma once

#include "common/dialogs.h"

#include <QDialog>
#include <functional>
#include <string>

class QLineEdit;
class QPushButton;

namespace gw {

class frmPassword : public QDialog {
    Q_OBJECT
  public:
    // `store` receives the new password (trimmed, upper case) when Save accepts it.
    frmPassword(const std::string& current, std::function<void(const std::string&)> store,
                Dialogs& dialogs, QWidget* parent = nullptr);

    void btnSave_Click();
    void btnCancel_Click();

    QLineEdit* txtPassword1;
    QPushButton* btnSave;
    QPushButton* btnCancel;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::function<void(const std::string&)> m_store;
    Dialogs& m_dialogs;
    QString m_mask; // the stars shown for the stored password
};

} // namespace gw
