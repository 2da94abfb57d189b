// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/ports.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include "ui/control_table.h"
#include "qt/form_view.h"

namespace qt {

void QtEventPump::processEvents() { QCoreApplication::processEvents(); }

int QtScreen::widthTwips() const {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().width() * ui::kTwipsPerPixel : ui::kDesignWidth;
}

int QtScreen::heightTwips() const {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() * ui::kTwipsPerPixel : ui::kDesignHeight;
}

void QtWindow::show() {
    if (view_ && !closed_) view_->showCoveringScreen();
}

void QtWindow::close() {
    closed_ = true;
    if (view_) view_->hide();
    QCoreApplication::exit(0);
}

}  // namespace qt
