// The progress window of an initialization.
#include "gui/frm_initializing.h"

#include "common/text.h"
#include "core/node_setup.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace gw {

frmInitializing::frmInitializing(NodeSetup& setup, QWidget* parent)
    : QDialog(parent), m_setup(setup) {
    setObjectName("frmInitializing");
    setWindowTitle(toQString("Initializing Corvale Brevane (" + setup.instance() + ")"));
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
    // Closed by the operator: dismissed until the next initialization.
    connect(this, &QDialog::finished, &setup, &NodeSetup::dismissProgress);
    connect(&setup, &NodeSetup::progressChanged, this, &frmInitializing::showProgress);
    showProgress();
}

void frmInitializing::showProgress() {
    // The label shows CR-separated progress lines one per row.
    std::string shown = m_setup.progressText();
    for (char& c : shown)
        if (c == '\r') c = '\n';
    lblInitializing->setText(toQString(shown));
    // A failure is shown until the operator closes it.
    const NodeSetup::InitProgress progress = m_setup.progress();
    btnClose->setVisible(progress == NodeSetup::InitProgress::Failed);
    if (progress == NodeSetup::InitProgress::None) {
        hide();
        return;
    }
    show();
    adjustSize();
}

} // namespace gw
