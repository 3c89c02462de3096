// The node's status colours and the one way its labels show them: light green for a working
// state, light red for a failure, light yellow for work in progress or an active connection;
// no colour means the system's button face.
#pragma once

#include <QColor>
#include <QWidget>
#include <optional>

namespace gw {

inline const QColor kLightGreen{128, 255, 128};
inline const QColor kLightRed{255, 128, 128};
inline const QColor kLightYellow{255, 255, 128};

// Paints the widget's background; std::nullopt returns it to the button face.
void setBackground(QWidget* widget, std::optional<QColor> colour);
// The colour set by setBackground, or std::nullopt for the button face.
std::optional<QColor> backgroundOf(const QWidget* widget);

} // namespace gw
