// The password window.
#include "gui/frm_password.h"

#include "common/text.h"
#include "core/console_rules.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace gw {

frmPassword::frmPassword(const std::string& current, std::function<void(const std::string&)> store,
                         Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_store(std::move(store)), m_dialogs(dialogs) {
    setObjectName("frmPassword");
    setWindowTitle("Password");
    setModal(true);
    auto* label = new QLabel("Enter Password", this);
    txtPassword1 = new QLineEdit(this);
    txtPassword1->setObjectName("txtPassword1");
    txtPassword1->setToolTip("Password linked to call sign: 4-12 Char. Obtain one from the "
                             "operator of the short-message server.");
    m_mask = QString(static_cast<int>(std::min<std::size_t>(current.size(), 15)), '*');
    txtPassword1->setText(m_mask);
    txtPassword1->installEventFilter(this);
    btnSave = new QPushButton("Save", this);
    btnSave->setObjectName("btnSave");
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnSave);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(txtPassword1);
    layout->addLayout(buttons);
    connect(btnSave, &QPushButton::clicked, this, &frmPassword::btnSave_Click);
    connect(btnCancel, &QPushButton::clicked, this, &frmPassword::btnCancel_Click);
}

bool frmPassword::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtPassword1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->text().isEmpty() && txtPassword1->text().contains('*')) txtPassword1->clear();
    }
    return QDialog::eventFilter(watched, event);
}

void frmPassword::btnSave_Click() {
    if (!m_mask.isEmpty() && txtPassword1->text() == m_mask) {
        // Nothing was typed: the box still shows the mask, not a new password.
        accept();
        return;
    }
    std::string problem;
    const std::string password = serverPassword(fromQString(txtPassword1->text()), problem);
    if (!problem.empty()) {
        m_dialogs.message(DialogIcon::Exclamation, "Password Error", problem);
        txtPassword1->setFocus();
        return;
    }
    m_store(password);
    accept();
}

void frmPassword::btnCancel_Click() {
    reject();
}

} // namespace gw
