// The setup window's web console password dialog: the new password typed twice, handed to
// the setup core, which checks it and stores its hash.
#pragma once

#include "common/dialogs.h"

#include <QDialog>
#include <functional>
#include <string>

class QLineEdit;
class QPushButton;

namespace gw {

class frmWebPassword : public QDialog {
    Q_OBJECT
  public:
    // `store` takes the password (UTF-8) and answers "" when stored, else why not.
    frmWebPassword(std::function<std::string(const std::string&)> store, Dialogs& dialogs,
                   QWidget* parent = nullptr);

    void btnSave_Click();

    QLineEdit* txtWebPassword1;
    QLineEdit* txtWebPassword2;
    QPushButton* btnSave;
    QPushButton* btnCancel;

  private:
    void refuse(const std::string& why);

    std::function<std::string(const std::string&)> m_store;
    Dialogs& m_dialogs;
};

} // namespace gw
