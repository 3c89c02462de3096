// The sysop console's controls: the entry boxes, the request and reply boxes and the four
// command buttons, which hand the boxes' texts to the core.
#include "gui/frm_main.h"

#include "common/text.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace gw {
namespace {
QLineEdit* addLine(QGridLayout* grid, int row, const char* label, const char* name, const char* tip,
                   QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setToolTip(tip);
    grid->addWidget(new QLabel(label, parent), row, 0);
    grid->addWidget(edit, row, 1);
    return edit;
}

QPushButton* addButton(QHBoxLayout* row, const char* caption, const char* name, const char* tip,
                       QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setToolTip(tip);
    row->addWidget(button);
    return button;
}
} // namespace

QWidget* frmMain::buildConsole(QWidget* parent) {
    auto* grid = new QGridLayout(parent);
    txtUserCall = addLine(grid, 0, "User Call:", "txtUserCall",
                          "Call to use when making a connection to the SMS Server. (normally "
                          "SYSOPs call)",
                          parent);
    txtUserCall->installEventFilter(this);
    txtMID = addLine(grid, 1, "MID:", "txtMID", "MID (required for R and K commands)", parent);
    txtTo = addLine(grid, 2, "To:", "txtTo",
                    "Radio call sign, with or without a hierarchical route, or SMTP: followed by "
                    "an e-mail address; separate several with ;",
                    parent);
    txtSubject =
        addLine(grid, 3, "Subject:", "txtSubject", "Subject for the test message.", parent);
    txtSubject->setText("Test SMS Message");
    txtMessage = new QPlainTextEdit(parent);
    txtMessage->setObjectName("txtMessage");
    txtMessage->setToolTip("Text of the test message.");
    txtMessage->setPlainText("This is a test\r\nThe quick brown fox jumps over the lazy dog's "
                             "back 1234567890\r\nEnd of test\r\n");
    grid->addWidget(txtMessage, 4, 0, 1, 2);
    txtCommand = addLine(grid, 5, "Command Sent:", "txtCommand",
                         "Command as sent to the SMS Server", parent);
    txtCommand->setReadOnly(true);
    txtReceived = new QPlainTextEdit(parent);
    txtReceived->setObjectName("txtReceived");
    txtReceived->setToolTip("Reply message from the SMS server");
    txtReceived->setReadOnly(true);
    grid->addWidget(txtReceived, 6, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    cmdList = addButton(buttons, "'LM'  Command", "cmdList", "List Messages pending for User Call.",
                        parent);
    cmdRead = addButton(buttons, "'R'  Command", "cmdRead", "Read the specified MID. ", parent);
    cmdKill = addButton(buttons, "'K'  Command", "cmdKill",
                        "Mark the specified MID delivered (not pending)", parent);
    cmdMessage =
        addButton(buttons, "'SP'  Command", "cmdMessage", "Send the test message.", parent);
    grid->addLayout(buttons, 7, 0, 1, 2);
    connect(cmdList, &QPushButton::clicked, this, &frmMain::cmdList_Click);
    connect(cmdRead, &QPushButton::clicked, this, &frmMain::cmdRead_Click);
    connect(cmdKill, &QPushButton::clicked, this, &frmMain::cmdKill_Click);
    connect(cmdMessage, &QPushButton::clicked, this, &frmMain::cmdMessage_Click);
    return parent;
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtUserCall && event->type() == QEvent::FocusOut) txtUserCall_LostFocus();
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::txtUserCall_LostFocus() {
    txtUserCall->setText(txtUserCall->text().toUpper());
    const bool ownCall = m_core.consoleOwnsCall(fromQString(txtUserCall->text()));
    cmdList->setEnabled(true);
    cmdRead->setEnabled(true);
    cmdKill->setEnabled(ownCall);
    cmdMessage->setEnabled(ownCall);
}

void frmMain::showConsole() {
    txtCommand->setText(toQString(m_core.consoleCommand()));
    // The box shows one line per CR LF (or lone CR); the text itself keeps its line ends.
    const std::string& text = m_core.receivedText();
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        shown += text[i] == '\r' ? '\n' : text[i];
    }
    txtReceived->setPlainText(toQString(shown));
}

void frmMain::cmdList_Click() {
    m_core.consoleList(fromQString(txtUserCall->text()));
}

void frmMain::cmdRead_Click() {
    std::string mid = fromQString(txtMID->text());
    if (m_core.consoleRead(fromQString(txtUserCall->text()), mid)) txtMID->setText(toQString(mid));
}

void frmMain::cmdKill_Click() {
    std::string mid = fromQString(txtMID->text());
    if (m_core.consoleKill(fromQString(txtUserCall->text()), mid)) txtMID->setText(toQString(mid));
}

void frmMain::cmdMessage_Click() {
    std::string mid;
    if (m_core.consoleSend(fromQString(txtUserCall->text()), fromQString(txtTo->text()),
                           fromQString(txtSubject->text()), fromQString(txtMessage->toPlainText()),
                           mid))
        txtMID->setText(toQString(mid));
}

} // namespace gw
