#include "ui/qt/qt_platform.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include "ui/control_table.h"
#include "ui/qt/form_view.h"

namespace ui::qt {

void QtEventPump::processEvents() { QCoreApplication::processEvents(); }

int QtScreen::widthTwips() const {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().width() * kTwipsPerPixel : kDesignWidth;
}

int QtScreen::heightTwips() const {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() * kTwipsPerPixel : kDesignHeight;
}

void QtWindow::show() {
    if (view_ && !closed_) view_->showCoveringScreen();
}

void QtWindow::close() {
    closed_ = true;
    if (view_) view_->hide();
    QCoreApplication::exit(0);
}

QtTimer::QtTimer() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (onTick) onTick();
    });
}

void QtTimer::start(int intervalMs) { timer_.start(intervalMs); }

void QtTimer::stop() { timer_.stop(); }

}  // namespace ui::qt
