// Message boxes to the operator.
#include "common/dialogs.h"

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

DialogAnswer HeadlessDialogs::message(DialogIcon icon, const std::string& title,
                                      const std::string& text, DialogButtons) {
    const std::string line = title.empty() ? text : title + ": " + text;
    const JournalPriority priority = icon == DialogIcon::Critical      ? JournalPriority::Error
                                     : icon == DialogIcon::Exclamation ? JournalPriority::Warning
                                                                       : JournalPriority::Info;
    if (m_sink)
        m_sink(priority, line);
    else
        writeJournal(priority, line);
    return DialogAnswer::Ok;
}

} // namespace gw
