#pragma once

#include "Session.h"

#include <QSize>
#include <QSizeF>

class QWidget;

namespace sonavel {

// Stored window geometry and the layout rules of our windows are in twips
// (1/1440 inch); widgets are in logical pixels. The conversion follows the
// logical DPI of the widget's screen (the primary screen without a widget),
// so 15 twips make one pixel at 96 DPI.
double TwipsPerPixel(const QWidget* widget = nullptr);
int TwipsToPixels(double twips, const QWidget* widget = nullptr);
double PixelsToTwips(int pixels, const QWidget* widget = nullptr);
QSize TwipsToPixels(double widthTwips, double heightTwips, const QWidget* widget = nullptr);

// Size of the primary screen in twips; default window positions are centred on it.
QSizeF ScreenSizeTwips();

// A window's state and its normal (restored) geometry in twips. Left and top
// are the position of the client area, width and height its size, so that
// applying what was read puts the window back exactly, whatever the frame.
WindowPlacement ReadWindowPlacement(const QWidget& window);
// Sets geometry and state; showing the window stays with the caller.
void ApplyWindowPlacement(QWidget& window, const WindowPlacement& placement);

}  // namespace sonavel
