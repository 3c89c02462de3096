// The sysop console: list, read, mark delivered and send requests on any call sign's behalf,
// through the console's own stream entry 0, with the reply shown in txtReceived.
#include "core/frm_main.h"

#include "common/text.h"
#include "server/ccommand.h"
#include "server/cmid_generator.h"
#include "server/session_key.h"

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
                         "Commmand as sent to the SMS Server", parent);
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
    const bool ownCall =
        m_setup != nullptr && fromQString(txtUserCall->text()) == m_setup->nodeCall();
    cmdList->setEnabled(true);
    cmdRead->setEnabled(true);
    cmdKill->setEnabled(ownCall);
    cmdMessage->setEnabled(ownCall);
}

bool frmMain::consoleRequest(const char* command, std::unique_ptr<CCommand>& request) {
    request = std::make_unique<CCommand>();
    do {
        request->Session = newSessionKey(0);
    } while (m_pending.count(request->Session) != 0);
    NewStream("0", toUpper(trim(fromQString(txtUserCall->text()))), 0);
    request->Command = command;
    request->MBOCall = m_setup != nullptr ? m_setup->nodeCall() : std::string();
    request->MBOPassword = m_setup != nullptr ? m_setup->password() : std::string();
    request->UserCall = fromQString(txtUserCall->text());
    if (request->Command == "K") request->UserCall = toUpper(trim(request->UserCall));
    return true;
}

void frmMain::queueConsoleRequest(std::unique_ptr<CCommand> request) {
    const std::size_t stars = std::min<std::size_t>(request->MBOPassword.size(), 13);
    txtCommand->setText(toQString(request->Command + "|" + request->MBOCall + "|" +
                                  std::string(stars, '*') + "|" + request->UserCall + "|" +
                                  request->Mid + "|"));
    queueRequest(0, std::move(request));
    showInConsole("Waiting for response from SMS Server...");
}

bool frmMain::resolveConsoleMid() {
    const std::string text = fromQString(txtMID->text());
    if (!isNumeric(text)) return true;
    const double k = numericValue(text);
    const auto n = static_cast<long long>(Streams[0].ListedMids.size()) - 1;
    const long long position = roundHalfEven(k - 1);
    if (k > 0 && k <= static_cast<double>(n) && position >= 0 && position < n) {
        txtMID->setText(toQString(Streams[0].ListedMids[static_cast<std::size_t>(position)]));
        return true;
    }
    m_dialogs.message(DialogIcon::Exclamation, kProgramTitle,
                      "Numeric Mid exceeds LM index! Enter correct MID or index.");
    return false;
}

void frmMain::cmdList_Click() {
    if (txtUserCall->text().isEmpty()) {
        m_dialogs.message(DialogIcon::None, kProgramTitle, "User's call required...");
        return;
    }
    std::unique_ptr<CCommand> request;
    consoleRequest("L", request);
    queueConsoleRequest(std::move(request));
}

void frmMain::cmdRead_Click() {
    queueConsoleMidRequest("R");
}

void frmMain::cmdKill_Click() {
    queueConsoleMidRequest("K");
}

void frmMain::queueConsoleMidRequest(const char* command) {
    if (txtMID->text().isEmpty() || txtUserCall->text().isEmpty()) {
        m_dialogs.message(DialogIcon::None, kProgramTitle, "User's call and MID required...");
        return;
    }
    std::unique_ptr<CCommand> request;
    consoleRequest(command, request);
    if (!resolveConsoleMid()) return;
    request->Mid = toUpper(trim(fromQString(txtMID->text())));
    queueConsoleRequest(std::move(request));
}

void frmMain::cmdMessage_Click() {
    if (txtUserCall->text().isEmpty() || txtTo->text().isEmpty() ||
        txtMessage->toPlainText().isEmpty()) {
        m_dialogs.message(DialogIcon::None, kProgramTitle,
                          "User's call, 'To:' address, and message text required...");
        return;
    }
    std::unique_ptr<CCommand> request;
    consoleRequest("S", request);
    CMidGenerator generator;
    generator.Tag("SMS_");
    txtMID->setText(toQString(generator.LastMid()));
    StreamRecord& entry = Streams[0];
    request->Mid = entry.Mid = generator.LastMid();
    request->Originated = m_clock.now();
    request->AddressTo = entry.Destination = fromQString(txtTo->text());
    request->AddressCc.clear();
    request->Subject = entry.Subject = fromQString(txtSubject->text());
    // The box holds lines; the message keeps CR LF line ends.
    std::string body;
    for (char c : fromQString(txtMessage->toPlainText())) {
        if (c == '\n') body += '\r';
        if (c != '\r') body += c;
    }
    request->Body = entry.Body = body;
    queueConsoleRequest(std::move(request));
}

} // namespace gw
