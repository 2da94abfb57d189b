// SPDX-License-Identifier: GPL-3.0-or-later
// The smallest Qt Widgets program that fills the screen: a frameless window
// with the screen's geometry, painted lavender (192, 192, 255), the colour of
// the trainer's panel. run_e2e_bench.py times its first frame against the
// trainer's.
#include <QApplication>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

#include "bench/startup_phases.h"

int main(int argc, char** argv) {
    ABACORN_PHASE("main");
    QApplication app(argc, argv);
    ABACORN_PHASE("qt");
    QWidget w;
    ABACORN_FIRST_PAINT_STAMP(&w);
    QPalette pal = w.palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 255));
    w.setPalette(pal);
    w.setAutoFillBackground(true);
    w.setWindowFlag(Qt::FramelessWindowHint, true);
    if (QScreen* s = QGuiApplication::primaryScreen()) w.setGeometry(s->geometry());
    w.show();
    return app.exec();
}
