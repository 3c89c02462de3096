// The setup window's KISS frame: the KISS TNC's line (its serial port above, or a KISS TCP
// server), the timing values sent to it, the text that switches it into KISS, and the link
// values of the node's own AX.25 station; each edit reaches the live settings at once.
#include "gui/frm_tnc.h"

#include "common/text.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace gw {
namespace {

struct Box {
    QLineEdit* frmTNC::*member;
    const char* name;
    const char* label;
    const char* toolTip;
    std::string KissSettings::*value;
};

constexpr Box kBoxes[] = {
    {&frmTNC::txtKISSAddress, "txtKISSAddress", "KISS Address",
     "Empty: the KISS TNC on the serial port above. host:port: a KISS TCP server, such as "
     "direwolf's KISSPORT",
     &KissSettings::address},
    {&frmTNC::txtKISSInitText, "txtKISSInitText", "Init Text",
     "Commands that switch the TNC into KISS, separated by | (INT KISS|RESET, KISS ON|RESTART); "
     "empty for a TNC that starts in KISS",
     &KissSettings::initText},
    {&frmTNC::txtKISSTxDelay, "txtKISSTxDelay", "TX Delay (10 ms)",
     "Time from keying the transmitter to the first bit, in 10 ms units (0-255)",
     &KissSettings::txDelay},
    {&frmTNC::txtKISSPersist, "txtKISSPersist", "Persistence",
     "Chance to transmit in a free slot, (value + 1) / 256 (0-255)", &KissSettings::persist},
    {&frmTNC::txtKISSSlotTime, "txtKISSSlotTime", "Slot Time (10 ms)",
     "Time between tries to transmit, in 10 ms units (0-255)", &KissSettings::slotTime},
    {&frmTNC::txtKISSTxTail, "txtKISSTxTail", "TX Tail (10 ms)",
     "Time the transmitter stays keyed after the last bit, in 10 ms units (0-255)",
     &KissSettings::txTail},
    {&frmTNC::txtKISSPaclen, "txtKISSPaclen", "Paclen",
     "Most bytes of text in one frame, N1 (1-256)", &KissSettings::paclen},
    {&frmTNC::txtKISSWindow, "txtKISSWindow", "Window (k)",
     "Most frames sent before an acknowledgement (1-7)", &KissSettings::window},
    {&frmTNC::txtKISSRetries, "txtKISSRetries", "Retries (N2)",
     "Tries before a silent link is given up (1-30)", &KissSettings::retries},
    {&frmTNC::txtKISST1, "txtKISST1", "T1 (s)",
     "Seconds before an unacknowledged frame is tried again, until the round trip is measured "
     "(1-30)",
     &KissSettings::t1},
    {&frmTNC::txtKISSIdInterval, "txtKISSIdInterval", "ID Interval (min)",
     "Minutes between identifications while the node transmits (0 = off; 0-30)",
     &KissSettings::idInterval},
};

struct Check {
    QCheckBox* frmTNC::*member;
    const char* name;
    const char* caption;
    const char* toolTip;
    bool KissSettings::*value;
};

constexpr Check kChecks[] = {
    {&frmTNC::chkKISSFullDuplex, "chkKISSFullDuplex", "Full Duplex",
     "Transmit without waiting for a clear channel", &KissSettings::fullDuplex},
    {&frmTNC::chkKISSExit, "chkKISSExit", "Leave KISS on shutdown",
     "Send the leave-KISS frame (C0 FF C0) when the node shuts down", &KissSettings::exitKiss},
};

} // namespace

QGroupBox* frmTNC::buildKissFrame(QWidget* parent) {
    fraKISS = new QGroupBox("KISS TNC and link", parent);
    fraKISS->setObjectName("fraKISS");
    auto* form = new QFormLayout(fraKISS);
    for (const Box& box : kBoxes) {
        auto* edit = new QLineEdit(fraKISS);
        edit->setObjectName(box.name);
        edit->setToolTip(box.toolTip);
        form->addRow(new QLabel(box.label, fraKISS), edit);
        this->*box.member = edit;
    }
    for (const Check& check : kChecks) {
        auto* option = new QCheckBox(check.caption, fraKISS);
        option->setObjectName(check.name);
        option->setToolTip(check.toolTip);
        form->addRow(option);
        this->*check.member = option;
    }
    return fraKISS;
}

void frmTNC::forwardKissEdits() {
    KissSettings& kiss = m_setup.live().kiss;
    for (const Box& box : kBoxes)
        connect(
            this->*box.member, &QLineEdit::textChanged, this,
            [&kiss, value = box.value](const QString& text) { kiss.*value = fromQString(text); });
    for (const Check& check : kChecks)
        connect(this->*check.member, &QCheckBox::toggled, this,
                [&kiss, value = check.value](bool on) { kiss.*value = on; });
}

void frmTNC::showKissSettings() {
    const KissSettings& kiss = m_setup.live().kiss;
    for (const Box& box : kBoxes)
        (this->*box.member)->setText(toQString(kiss.*box.value));
    for (const Check& check : kChecks)
        (this->*check.member)->setChecked(kiss.*check.value);
}

} // namespace gw
