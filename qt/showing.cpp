// SPDX-License-Identifier: GPL-3.0-or-later
// The window covering the screen.
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "qt/form_view.h"

namespace ui::qt {

void FormView::showCoveringScreen() {
    // Measured under Xvfb 1920x1080: without a window manager showFullScreen()
    // alone leaves the window at its default 640x480, but given the screen's
    // geometry first it covers the screen exactly (xwininfo: 1920x1080+0+0).
    // Under openbox and xfwm4 the same call carries _NET_WM_STATE_FULLSCREEN,
    // so panels and docks stay below the window; under Wayland (weston) it is
    // xdg_toplevel.set_fullscreen, answered with a configure of the output's
    // size.
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) setGeometry(screen->geometry());
    showFullScreen();
    raise();
    activateWindow();
    // A window manager answers within milliseconds; one that refuses full
    // screen leaves the window framed or smaller, which is put right then.
    QTimer::singleShot(kFullScreenAnswerMs, this, [this] { coverScreenIfRefused(); });
}

bool FormView::coversScreen() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return true;
    // A Wayland client never learns where its window lies: the size tells.
    if (QGuiApplication::platformName() == QLatin1String("wayland")) return size() == screen->size();
    return geometry() == screen->geometry();
}

void FormView::coverScreenIfRefused() {
    if (!isVisible() || coversScreen()) return;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        std::fprintf(stderr, "abacorn: the compositor did not make the window full screen (%dx%d on a %dx%d screen)\n",
                     width(), height(), screen->size().width(), screen->size().height());
        return;
    }
    const QRect g = geometry();
    std::fprintf(stderr, "abacorn: the window manager did not make the window full screen (%dx%d at %d,%d); "
                         "asking for a frameless window of the screen's size instead\n",
                 g.width(), g.height(), g.x(), g.y());
    // Changing the flags of a shown window hides it; it is shown again at once.
    setWindowState(Qt::WindowNoState);
    setWindowFlag(Qt::FramelessWindowHint, true);
    setGeometry(screen->geometry());
    show();
    raise();
    activateWindow();
}

}  // namespace ui::qt
