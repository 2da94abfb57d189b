// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/qt_platform.h"

#include <QEvent>
#include <QWidget>
#include <fontconfig/fontconfig.h>
#include <utility>

namespace qt {

QtTimer::QtTimer() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (onTick) onTick();
    });
}

void QtTimer::start(int intervalMs) { timer_.start(intervalMs); }

void QtTimer::stop() { timer_.stop(); }

// FcInit() is thread-safe, and once it has run, Qt's own call returns at
// once. A failure here is not ours to report: Qt meets it again and copes
// as it always does.
FontconfigWarmUp::FontconfigWarmUp() : thread_([] { FcInit(); }) {}

namespace {

class FirstPaintWatch : public QObject {
public:
    FirstPaintWatch(QWidget& widget, std::function<void()> then) : QObject(&widget), then_(std::move(then)) {
        widget.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Queued: the paint and the flush to the display finish first.
            QTimer::singleShot(0, [then = std::move(then_)] { then(); });
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> then_;
};

}  // namespace

void afterFirstPaint(QWidget& widget, std::function<void()> then) { new FirstPaintWatch(widget, std::move(then)); }

void bringToFront(QWidget& window) {
    if (!window.isVisible()) return;
    if (window.isMinimized()) window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.raise();
    window.activateWindow();
}

}  // namespace qt
