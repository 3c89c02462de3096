// Message boxes to the operator on the desktop.
#include "gui/qt_dialogs.h"

#include "common/text.h"

#include <QApplication>
#include <QMessageBox>
#include <algorithm>

namespace gw {

DialogAnswer QtDialogs::message(DialogIcon icon, const std::string& title, const std::string& text,
                                DialogButtons buttons) {
    // Over the window the operator is working in, the one the message belongs to.
    QMessageBox box(QApplication::activeWindow());
    switch (icon) {
    case DialogIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case DialogIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case DialogIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case DialogIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    box.setWindowTitle(toQString(title));
    box.setText(toQString(text));
    if (buttons == DialogButtons::OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    m_open.push_back(&box);
    const int answer = box.exec();
    m_open.erase(std::find(m_open.begin(), m_open.end(), &box));
    return answer == QMessageBox::Ok ? DialogAnswer::Ok : DialogAnswer::Cancel;
}

void QtDialogs::closeAll() {
    for (QMessageBox* box : m_open)
        box->done(QMessageBox::Cancel);
}

} // namespace gw
