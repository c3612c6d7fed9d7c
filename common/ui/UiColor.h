#pragma once

#include "Color.h"

#include <QColor>

namespace sonavel {

// The one crossing between our colours and the widget toolkit's.
inline QColor ToQColor(Color color) {
    return QColor(color.Red, color.Green, color.Blue);
}
inline Color FromQColor(const QColor& color) {
    return {static_cast<std::uint8_t>(color.red()), static_cast<std::uint8_t>(color.green()),
            static_cast<std::uint8_t>(color.blue())};
}

}  // namespace sonavel
