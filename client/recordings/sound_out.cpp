// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/sound_out.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

namespace recordings {

SoundOut::SoundOut() = default;

SoundOut::~SoundOut() {
    Stop();
}

bool SoundOut::Start(int rate, int channels) {
    if (sink_ && rate == rate_ && channels == channels_) return true;
    Stop();
    if (rate <= 0 || channels <= 0 || qgetenv("CORVEL_SOUND_OUT") == "null") return false;
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull()) return false;
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!output.isFormatSupported(format)) return false;
    sink_ = std::make_unique<QAudioSink>(output, format);
    device_ = sink_->start();
    if (device_ == nullptr) {
        sink_.reset();
        return false;
    }
    rate_ = rate;
    channels_ = channels;
    return true;
}

void SoundOut::Write(const QByteArray& pcm) {
    if (device_ == nullptr || pcm.isEmpty()) return;
    const qsizetype room = sink_->bytesFree();
    device_->write(pcm.constData(), std::min(room, pcm.size()));
}

void SoundOut::Stop() {
    if (sink_) sink_->stop();
    sink_.reset();
    device_ = nullptr;
    rate_ = channels_ = 0;
}

}  // namespace recordings
