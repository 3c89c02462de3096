// The About window.
#include "gui/frm_about.h"

#include "common/text.h"
#include "core/version_text.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace gw {

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName("frmAbout");
    setWindowTitle("About Corvale Brevane");
    lblVersion = new QLabel(toQString("Gullwick version " + versionText()), this);
    lblVersion->setObjectName("lblVersion");
    auto* description = new QLabel(
        "A packet-radio message node: radio users connected through a TNC list, read, mark "
        "delivered and send short messages kept by a short-message server.",
        this);
    description->setWordWrap(true);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("cmdOK");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblVersion);
    layout->addWidget(description);
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace gw
