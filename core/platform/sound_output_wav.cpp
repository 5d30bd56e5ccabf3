// SPDX-License-Identifier: GPL-3.0-or-later
// The wav output: the null device's clock, with everything played appended to a WAV file.
#include <cstdio>

#include "platform/sound_output_backends.h"
#include "platform/sound_wav_file.h"

namespace corvel {

namespace {

class WavSink final : public PlayedSoundSink {
  public:
    explicit WavSink(std::unique_ptr<WavFileWriter> writer) : writer_(std::move(writer)) {}
    void Played(const uint8_t* bytes, uint32_t count) override {
        // A full disk must not stop the sound: the file keeps what it had, and we say so once.
        if (!writer_->Append(bytes, count) && !told_) {
            told_ = true;
            std::fprintf(stderr, "corvel: writing the played sound to its WAV file failed\n");
        }
    }

  private:
    std::unique_ptr<WavFileWriter> writer_;
    bool told_ = false;
};

}  // namespace

std::unique_ptr<SoundOutputDevice> OpenWavSoundOutput(const std::string& path,
                                                      const NullOutputOptions& options) {
    // Fail at open when the file cannot be made at all, as a device that is not there.
    if (path.empty() || !WavFileWriter::Create(path, kPlayFormat)) return nullptr;
    return OpenClockedSoundOutput(options,
                                  [path](const SoundFormat& format) -> std::unique_ptr<PlayedSoundSink> {
                                      auto writer = WavFileWriter::Create(path, format);
                                      if (!writer) return nullptr;
                                      return std::make_unique<WavSink>(std::move(writer));
                                  });
}

}  // namespace corvel
