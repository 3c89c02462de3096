// Message boxes to the operator on the desktop.
#include "gui/qt_dialogs.h"

#include "common/text.h"

#include <QApplication>
#include <QMessageBox>

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
    return box.exec() == QMessageBox::Ok ? DialogAnswer::Ok : DialogAnswer::Cancel;
}

} // namespace gw
