// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/screen_reader_switch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

#include "speech/worker.h"

namespace desktop {
namespace {

const QString kService = QStringLiteral("org.a11y.Bus");
const QString kPath = QStringLiteral("/org/a11y/bus");
const QString kStatus = QStringLiteral("org.a11y.Status");
const QString kProperty = QStringLiteral("ScreenReaderEnabled");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
// The launcher answers within milliseconds; one started by D-Bus
// activation takes longer, and is then read as off until it tells of a
// change.
constexpr int kReadBoundMs = 250;

}  // namespace

struct ScreenReaderSwitch::Reading {
    explicit Reading(std::function<void()> body) : worker(std::move(body)) {}
    speech::Worker worker;
};

ScreenReaderSwitch::ScreenReaderSwitch() : on_(std::make_shared<std::atomic<bool>>(false)) {
    // The changes are delivered to this object on the window's thread; the
    // match is added first, so that no change between it and the reading
    // is missed.
    reading_ = std::make_unique<Reading>([this, on = on_] {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) return;
        bus.connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        QDBusMessage get = QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
        get << kStatus << kProperty;
        const QDBusMessage reply = bus.call(get, QDBus::Block, kReadBoundMs);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            *on = reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
    });
}

ScreenReaderSwitch::~ScreenReaderSwitch() {
    // A reading still under way is left behind, with the bound of its call.
    reading_->worker.finishWithin(std::chrono::milliseconds(kReadBoundMs));
    QDBusConnection::sessionBus().disconnect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                                             SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
}

std::function<bool()> ScreenReaderSwitch::reader() const {
    return [on = on_] { return on->load(); };
}

void ScreenReaderSwitch::propertiesChanged(const QString& interface, const QVariantMap& changed,
                                           const QStringList&) {
    if (interface != kStatus) return;
    const auto value = changed.constFind(kProperty);
    if (value != changed.constEnd()) *on_ = value->toBool();
}

}  // namespace desktop
