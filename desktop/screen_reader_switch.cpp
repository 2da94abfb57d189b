// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/screen_reader_switch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <atomic>
#include <mutex>

#include "speech/worker.h"

namespace desktop {
namespace {

const QString kPath = QStringLiteral("/org/a11y/bus");
const QString kStatus = QStringLiteral("org.a11y.Status");
const QString kProperty = QStringLiteral("ScreenReaderEnabled");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kChanged = QStringLiteral("PropertiesChanged");
// The launcher answers within milliseconds; one started by D-Bus
// activation takes longer, and is then read as off until it tells of a
// change.
constexpr int kReadBoundMs = 250;

}  // namespace

// What the reading thread and the window's thread share; it lives as long
// as either needs it (the thread may be left behind, see ~ScreenReaderSwitch).
struct ScreenReaderSwitch::Shared {
    std::atomic<bool> on{false};
    std::mutex mutex;
    bool closed = false;          // the switch is gone
    bool changed = false;         // a change was told: the reading is older
    std::unique_ptr<QObject> receiver;  // of the changes, on the window's thread; ended with `closed`

    void tell(bool value, bool isChange) {
        std::lock_guard lock(mutex);
        if (!isChange && changed) return;
        changed = changed || isChange;
        on = value;
    }
};

namespace {

// Receives the bus's PropertiesChanged on the thread it lives on, the
// window's: there the changes are taken up in the order the bus sent them,
// among the program's other calls from the bus.
class ChangeReceiver final : public QObject {
    Q_OBJECT
public:
    explicit ChangeReceiver(ScreenReaderSwitch::Shared& shared) : shared_(shared) {}

public Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
        if (interface != kStatus) return;
        const auto value = changed.constFind(kProperty);
        if (value != changed.constEnd()) shared_.tell(value->toBool(), true);
    }

private:
    ScreenReaderSwitch::Shared& shared_;  // owns this object
};

}  // namespace

struct ScreenReaderSwitch::Reading {
    explicit Reading(std::function<void()> body) : worker(std::move(body)) {}
    speech::Worker worker;
};

ScreenReaderSwitch::ScreenReaderSwitch() : shared_(std::make_shared<Shared>()) {
    shared_->receiver = std::make_unique<ChangeReceiver>(*shared_);
    reading_ = std::make_unique<Reading>([shared = shared_] {
        // Connecting has no bound: a bus that is slow to accept, or stopped,
        // keeps this thread here, also after the switch is gone.
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) return;
        {
            // The receiver is the switch's until it closes; it is handed to
            // the bus only while it is open. No service is named: with one
            // Qt asks the bus for its owner first and waits for the answer
            // (for long on a bus that does not answer), this thread
            // holding the lock. Without, the match is sent and connect()
            // returns at once. It is sent before the reading, so that no
            // change between the two is missed.
            std::lock_guard lock(shared->mutex);
            if (shared->closed) return;
            bus.connect(QString(), kPath, kProperties, kChanged, shared->receiver.get(),
                        SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        }
        QDBusMessage get = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), kPath, kProperties,
                                                          QStringLiteral("Get"));
        get << kStatus << kProperty;
        const QDBusMessage reply = bus.call(get, QDBus::Block, kReadBoundMs);
        // A change told meanwhile is newer than the reading.
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            shared->tell(reply.arguments().constFirst().value<QDBusVariant>().variant().toBool(), false);
    });
}

ScreenReaderSwitch::~ScreenReaderSwitch() {
    std::unique_ptr<QObject> receiver;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->closed = true;
        receiver = std::move(shared_->receiver);
    }
    // Ended on its own thread; the bus forgets a receiver that is gone.
    receiver.reset();
    // A reading still under way is left behind, with the bound of its call;
    // one still connecting, for as long as that takes.
    reading_->worker.finishWithin(std::chrono::milliseconds(kReadBoundMs));
}

std::function<bool()> ScreenReaderSwitch::reader() const {
    return [shared = shared_] { return shared->on.load(); };
}

}  // namespace desktop

#include "screen_reader_switch.moc"
