// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer as the program runs it, speaking each line of its standard
// input through the window's Speak, as the window hands over an answer:
// run_intelligibility.py has every voice say the numbers this way.
#include <QSocketNotifier>
#include <memory>
#include <string>
#include <unistd.h>

#include "app/frm_splash.h"
#include "main/program.h"

namespace {

class SayLines final : public program::StartupPhases {
public:
    void qtStarted() override {}
    void fontsReady() override {}
    void windowBuilt(QWidget&) override {}
    void loaded(app::frmSplash& frm) override {
        lines_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(lines_.get(), &QSocketNotifier::activated, [this, &frm] {
            char buffer[256];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0) {
                lines_->setEnabled(false);
                return;
            }
            pending_.append(buffer, static_cast<std::size_t>(got));
            for (std::size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1))
                frm.Speak(pending_.substr(0, end));
        });
    }

private:
    std::unique_ptr<QSocketNotifier> lines_;
    std::string pending_;
};

}  // namespace

int main(int, char** argv) {
    SayLines say;
    return program::run(argv[0], &say);
}
