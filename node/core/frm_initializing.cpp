// The progress window of an initialization.
#include "core/frm_initializing.h"

#include "common/text.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace gw {

frmInitializing::frmInitializing(const std::string& sInstance, QWidget* parent) : QDialog(parent) {
    setObjectName("frmInitializing");
    setWindowTitle(toQString("Initializing Corvale Brevane (" + sInstance + ")"));
    lblInitializing = new QLabel(this);
    lblInitializing->setObjectName("lblInitializing");
    lblInitializing->setMinimumWidth(360);
    lblInitializing->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A failure text with its advice is longer than the window: it wraps, and the window
    // grows to hold it (a label with a minimum width of its own never widens the window).
    lblInitializing->setWordWrap(true);
    btnClose = new QPushButton("Close", this);
    btnClose->setObjectName("btnClose");
    btnClose->setVisible(false);
    // Its room is kept while hidden: shown after a failure, it takes none from the text.
    QSizePolicy keepRoom = btnClose->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    btnClose->setSizePolicy(keepRoom);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblInitializing, 1);
    layout->addWidget(btnClose, 0, Qt::AlignRight);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
}

void frmInitializing::setText(const std::string& text) {
    // The label shows CR-separated progress lines one per row.
    std::string shown = text;
    for (char& c : shown)
        if (c == '\r') c = '\n';
    lblInitializing->setText(toQString(shown));
    if (isVisible()) adjustSize();
}

void frmInitializing::appendLine(const std::string& line) {
    setText(text() + "\r" + line);
}

std::string frmInitializing::text() const {
    std::string raw = fromQString(lblInitializing->text());
    for (char& c : raw)
        if (c == '\n') c = '\r';
    return raw;
}

} // namespace gw
