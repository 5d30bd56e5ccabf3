// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/ptz_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

PtzKeys::PtzKeys(QWidget* window, Target target, Settings settings, Send send)
    : QObject(window),
      window_(window),
      target_(std::move(target)),
      settings_(std::move(settings)),
      send_(std::move(send)) {
    qApp->installEventFilter(this);
}

PtzKeys::~PtzKeys() {
    Release();
}

void PtzKeys::Bind(QKeyCombination key, int control_id) {
    bound_[key.toCombined()] = control_id;
}

bool PtzKeys::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            const auto it = bound_.find(key->keyCombination().toCombined() & ~Qt::KeypadModifier);
            if (it == bound_.end() || QApplication::activeWindow() != window_) break;
            // The repeats of a held key, and a second key while one holds, move nothing more.
            if (key->isAutoRepeat() || holding()) return true;
            const Camera camera = target_();
            if (!camera.device) return true;
            const auto value = rule_.ValueFor(it->second, CameraCommandRule::kPressed, 0, settings_());
            if (value && send_(camera, *value)) {
                held_key_ = key->key();
                held_control_ = it->second;
                held_camera_ = camera;
            }
            return true;
        }
        case QEvent::KeyRelease: {
            auto* key = static_cast<QKeyEvent*>(event);
            // The release of the held key, whatever modifiers were let go before it.
            if (!holding() || key->key() != held_key_) break;
            if (!key->isAutoRepeat()) Release();
            return true;
        }
        case QEvent::WindowDeactivate:
            if (watched == window_) Release();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void PtzKeys::Release() {
    if (!holding()) return;
    const auto value = rule_.ValueFor(held_control_, CameraCommandRule::kReleased, 0, settings_());
    if (value) send_(held_camera_, *value);
    held_key_ = 0;
    held_control_ = 0;
    held_camera_ = {};
}
