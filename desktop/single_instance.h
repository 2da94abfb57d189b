// SPDX-License-Identifier: GPL-3.0-or-later
// One trainer at a time, the way desktop applications are made unique: the
// first start owns a well-known name on the session bus and serves
// org.freedesktop.Application there; a second start asks it to come to the
// front and ends. Nothing is written to disk, and the name is free again as
// soon as the trainer closes. Without a session bus every start runs.
#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <future>

namespace desktop {

// The trainer's name on the session bus: its application id.
inline constexpr const char* kApplicationId = "io.github.abacorn.Abacorn";

class SingleInstance final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    // Claims the name on a thread of its own; returns at once. Make it on
    // the window's thread, after the application object; bringToFront is
    // called there when another start asks for the trainer.
    explicit SingleInstance(std::function<void()> bringToFront, const QString& name = kApplicationId);
    ~SingleInstance() override;

    // Waits for the claim. True when this start is the one trainer (also
    // when there is no session bus); false when another trainer holds the
    // name: it has then been asked to come to the front.
    bool first();

public Q_SLOTS:
    // org.freedesktop.Application, as a second start calls it.
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);

private:
    QString name_;
    QString path_;
    std::function<void()> bringToFront_;
    std::future<bool> claim_;
    bool owner_ = false;
};

}  // namespace desktop
