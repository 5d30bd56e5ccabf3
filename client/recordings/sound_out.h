// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <memory>

class QAudioSink;
class QIODevice;

namespace recordings {

// The player's sound: signed 16-bit PCM handed to the default output device through Qt Multimedia. Without
// a device, or with CORVEL_SOUND_OUT=null (as the tests run), it is silent and takes everything. Sound that
// the device cannot take at once is dropped rather than queued, so that it never runs behind the picture.
// UI thread.
class SoundOut {
  public:
    SoundOut();
    ~SoundOut();
    SoundOut(const SoundOut&) = delete;
    SoundOut& operator=(const SoundOut&) = delete;

    // Opens the device for this format (again when it changed); false when silent.
    bool Start(int rate, int channels);
    void Write(const QByteArray& pcm);
    void Stop();
    bool audible() const { return sink_ != nullptr; }

  private:
    std::unique_ptr<QAudioSink> sink_;
    QIODevice* device_ = nullptr;  // owned by sink_
    int rate_ = 0;
    int channels_ = 0;
};

}  // namespace recordings
