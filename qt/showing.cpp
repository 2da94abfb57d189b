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
    // The geometry first: without a window manager full screen alone leaves
    // the default size (docs/qt-notes.md).
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
