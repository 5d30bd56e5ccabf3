// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/alarm_sound.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

AlarmSound::AlarmSound(const QString& backend, const QString& source) {
    const QString name = backend.trimmed().toLower();
    if (name == QLatin1String("null") || name.startsWith(QLatin1String("wav:"))) return;
    if (QMediaDevices::audioOutputs().isEmpty()) return;
    effect_ = std::make_unique<QSoundEffect>();
    effect_->setSource(source.startsWith(QLatin1String("qrc:")) ? QUrl(source) : QUrl::fromLocalFile(source));
    effect_->setVolume(0.8f);
}

AlarmSound::~AlarmSound() = default;

bool AlarmSound::Alert(int64_t now_ms) {
    if (!enabled_) return false;
    if (last_ms_ >= 0 && now_ms - last_ms_ < kMinGapMs) return false;
    last_ms_ = now_ms;
    ++plays_;
    if (effect_) effect_->play();
    return true;
}
