// The node's status colours on labels.
#include "gui/colours.h"

#include <QApplication>
#include <QPalette>

namespace gw {

void setBackground(QWidget* widget, std::optional<QColor> colour) {
    QPalette palette = widget->palette();
    if (colour) {
        palette.setColor(QPalette::Window, *colour);
        widget->setAutoFillBackground(true);
    } else {
        palette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
        widget->setAutoFillBackground(false);
    }
    widget->setPalette(palette);
}

std::optional<QColor> backgroundOf(const QWidget* widget) {
    if (!widget->autoFillBackground()) return std::nullopt;
    return widget->palette().color(QPalette::Window);
}

} // namespace gw
