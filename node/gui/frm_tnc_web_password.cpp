// The web console password dialog.
#include "gui/frm_tnc_web_password.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace gw {
namespace {
constexpr const char* kTitle = "Web Password";

QLineEdit* makePasswordBox(QWidget* parent, const char* name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setEchoMode(QLineEdit::Password);
    return box;
}
} // namespace

frmWebPassword::frmWebPassword(std::function<std::string(const std::string&)> store,
                               Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_store(std::move(store)), m_dialogs(dialogs) {
    setObjectName("frmWebPassword");
    setWindowTitle(kTitle);
    setModal(true);
    txtWebPassword1 = makePasswordBox(this, "txtWebPassword1");
    txtWebPassword1->setToolTip("The password of the node's web console: 8 to 64 characters.");
    txtWebPassword2 = makePasswordBox(this, "txtWebPassword2");
    btnSave = new QPushButton("Save", this);
    btnSave->setObjectName("btnSave");
    btnSave->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    auto* form = new QFormLayout;
    form->addRow("New password", txtWebPassword1);
    form->addRow("Again", txtWebPassword2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnSave);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(btnSave, &QPushButton::clicked, this, &frmWebPassword::btnSave_Click);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmWebPassword::btnSave_Click() {
    if (txtWebPassword1->text() != txtWebPassword2->text()) {
        refuse("The two passwords differ.");
        return;
    }
    const std::string problem = m_store(txtWebPassword1->text().toStdString());
    if (!problem.empty()) {
        refuse(problem);
        return;
    }
    accept();
}

void frmWebPassword::refuse(const std::string& why) {
    m_dialogs.message(DialogIcon::Exclamation, kTitle, why);
    txtWebPassword2->clear();
    txtWebPassword1->selectAll();
    txtWebPassword1->setFocus();
}

} // namespace gw
