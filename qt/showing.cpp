// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/showing.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace qt {
namespace {

// How long a window manager has to answer the request for full screen.
constexpr int kFullScreenAnswerMs = 1500;

bool coversScreen(const QWidget& window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return true;
    // A Wayland client never learns where its window lies: the size tells.
    if (QGuiApplication::platformName() == QLatin1String("wayland")) return window.size() == screen->size();
    return window.geometry() == screen->geometry();
}

void coverScreenIfRefused(QWidget& window) {
    if (!window.isVisible() || coversScreen(window)) return;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        std::fprintf(stderr, "abacorn: the compositor did not make the window full screen (%dx%d on a %dx%d screen)\n",
                     window.width(), window.height(), screen->size().width(), screen->size().height());
        return;
    }
    const QRect g = window.geometry();
    std::fprintf(stderr, "abacorn: the window manager did not make the window full screen (%dx%d at %d,%d); "
                         "asking for a frameless window of the screen's size instead\n",
                 g.width(), g.height(), g.x(), g.y());
    // Changing the flags of a shown window hides it; it is shown again at once.
    window.setWindowState(Qt::WindowNoState);
    window.setWindowFlag(Qt::FramelessWindowHint, true);
    window.setGeometry(screen->geometry());
    window.show();
    window.raise();
    window.activateWindow();
}

}  // namespace

void showCoveringScreen(QWidget& window) {
    // Measured under Xvfb 1920x1080: without a window manager showFullScreen()
    // alone leaves the window at its default 640x480, but given the screen's
    // geometry first it covers the screen exactly (xwininfo: 1920x1080+0+0).
    // Under openbox and xfwm4 the same call carries _NET_WM_STATE_FULLSCREEN,
    // so panels and docks stay below the window; under Wayland (weston) it is
    // xdg_toplevel.set_fullscreen, answered with a configure of the output's
    // size.
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) window.setGeometry(screen->geometry());
    window.showFullScreen();
    window.raise();
    window.activateWindow();
    // A window manager answers within milliseconds; one that refuses full
    // screen leaves the window framed or smaller, which is put right then.
    QTimer::singleShot(kFullScreenAnswerMs, &window, [&window] { coverScreenIfRefused(window); });
}

}  // namespace qt
