// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/single_instance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <utility>

namespace desktop {
namespace {

// "io.github.abacorn.Abacorn" is served at "/io/github/abacorn/Abacorn".
QString objectPath(QString name) {
    return QLatin1Char('/') + name.replace(QLatin1Char('.'), QLatin1Char('/'));
}

// How long a second start waits for the first to answer.
constexpr int kActivateBoundMs = 1000;

}  // namespace

SingleInstance::SingleInstance(std::function<void()> bringToFront, const QString& name)
    : name_(name), path_(objectPath(name)), bringToFront_(std::move(bringToFront)) {
    claim_ = std::async(std::launch::async, [this] {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) return true;
        // Served before the name is taken, so that a start right after ours
        // finds the call answered (on the window's thread, where this
        // object lives).
        bus.registerObject(path_, this, QDBusConnection::ExportScriptableSlots);
        const auto reply = bus.interface()->registerService(name_, QDBusConnectionInterface::DontQueueService,
                                                            QDBusConnectionInterface::DontAllowReplacement);
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceNotRegistered) {
            bus.unregisterObject(path_);
            return false;
        }
        return true;  // ours, or a bus that does not answer: run
    });
}

SingleInstance::~SingleInstance() {
    if (claim_.valid()) claim_.wait();
    if (!owner_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return;
    bus.unregisterObject(path_);
    bus.interface()->unregisterService(name_);
}

bool SingleInstance::first() {
    if (!claim_.valid()) return true;
    owner_ = claim_.get();
    if (owner_) return true;
    QDBusMessage activate = QDBusMessage::createMethodCall(name_, path_, QStringLiteral("org.freedesktop.Application"),
                                                           QStringLiteral("Activate"));
    activate << QVariantMap();
    QDBusConnection::sessionBus().call(activate, QDBus::Block, kActivateBoundMs);
    return false;
}

void SingleInstance::Activate(const QVariantMap&) {
    if (bringToFront_) bringToFront_();
}

}  // namespace desktop
