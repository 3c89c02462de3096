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

std::optional<QColor> shadeColour(Shade shade) {
    switch (shade) {
    case Shade::LightGreen:
        return kLightGreen;
    case Shade::LightRed:
        return kLightRed;
    case Shade::LightYellow:
        return kLightYellow;
    case Shade::Face:
        break;
    }
    return std::nullopt;
}

std::optional<QColor> backgroundOf(const QWidget* widget) {
    if (!widget->autoFillBackground()) return std::nullopt;
    return widget->palette().color(QPalette::Window);
}

} // namespace gw
