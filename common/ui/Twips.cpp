#include "Twips.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace sonavel {

namespace {
constexpr double kTwipsPerInch = 1440.0;
constexpr double kFallbackDpi = 96.0;

const QScreen* ScreenOf(const QWidget* widget) {
    if (widget != nullptr && widget->screen() != nullptr) return widget->screen();
    return QGuiApplication::primaryScreen();
}

std::int32_t RoundTwips(double twips) {
    return static_cast<std::int32_t>(std::lround(twips));
}
}  // namespace

double TwipsPerPixel(const QWidget* widget) {
    const QScreen* screen = ScreenOf(widget);
    const double dpi = screen != nullptr ? screen->logicalDotsPerInch() : 0.0;
    // A headless start may have no screen or report nothing useful.
    return kTwipsPerInch / (dpi > 0.0 ? dpi : kFallbackDpi);
}

int TwipsToPixels(double twips, const QWidget* widget) {
    return static_cast<int>(std::lround(twips / TwipsPerPixel(widget)));
}

double PixelsToTwips(int pixels, const QWidget* widget) {
    return pixels * TwipsPerPixel(widget);
}

QSize TwipsToPixels(double widthTwips, double heightTwips, const QWidget* widget) {
    return {TwipsToPixels(widthTwips, widget), TwipsToPixels(heightTwips, widget)};
}

QSizeF ScreenSizeTwips() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {15360.0, 11520.0};  // 1024 x 768 at 96 DPI
    const QSize pixels = screen->size();
    return {PixelsToTwips(pixels.width()), PixelsToTwips(pixels.height())};
}

WindowPlacement ReadWindowPlacement(const QWidget& window) {
    WindowPlacement placement;
    if (window.isMinimized()) {
        placement.WindowState = 1;
    } else if (window.isMaximized()) {
        placement.WindowState = 2;
    }
    // A minimised or maximised window would otherwise hand on a geometry that
    // makes no sense to restore into.
    const QRect rect = placement.WindowState == 0 ? window.geometry() : window.normalGeometry();
    placement.PositionLeft = RoundTwips(PixelsToTwips(rect.x(), &window));
    placement.PositionTop = RoundTwips(PixelsToTwips(rect.y(), &window));
    placement.Width = RoundTwips(PixelsToTwips(rect.width(), &window));
    placement.Height = RoundTwips(PixelsToTwips(rect.height(), &window));
    return placement;
}

void ApplyWindowPlacement(QWidget& window, const WindowPlacement& placement) {
    window.setGeometry(TwipsToPixels(placement.PositionLeft, &window),
                       TwipsToPixels(placement.PositionTop, &window),
                       TwipsToPixels(placement.Width, &window),
                       TwipsToPixels(placement.Height, &window));
    Qt::WindowStates states = window.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (placement.WindowState == 1) {
        states |= Qt::WindowMinimized;
    } else if (placement.WindowState == 2) {
        states |= Qt::WindowMaximized;
    }
    window.setWindowState(states);
}

}  // namespace sonavel
