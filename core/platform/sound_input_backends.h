// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <memory>
#include <string>

#include "platform/sound_clock.h"
#include "platform/sound_input.h"

namespace corvel {

struct NullInputOptions {
    // Drives the device instead of its own real-time thread when given.
    std::shared_ptr<ManualSoundClock> clock;
};

// No microphone, clocked like one: while recording, silence arrives at the format's byte rate in 10 ms
// steps (a 3840-byte buffer at 7900 samples/s completes every 243 ms). Null for formats other than 16-bit
// PCM.
std::unique_ptr<SoundInput> OpenNullSoundInput(const SoundFormat& format, Event* done_event,
                                               const NullInputOptions& options);
// The WAV file at `path` is the microphone: its samples, looped, converted to the asked format (channels
// mixed or duplicated, the rate converted by linear interpolation), arriving as from the null device.
// Null with a reason when the file is missing, empty or not 16-bit PCM.
std::unique_ptr<SoundInput> OpenWavSoundInput(const std::string& path, const SoundFormat& format,
                                              Event* done_event, const NullInputOptions& options,
                                              std::string* error);
// What a clocked microphone hears: fills `count` bytes (whole blocks of the format) with the next samples.
class CapturedSoundSource {
  public:
    virtual ~CapturedSoundSource() = default;
    virtual void Fill(uint8_t* out, size_t count) = 0;
};
// The null device with its samples taken from `source` (what wav is made of). Null for formats other than
// 16-bit PCM.
std::unique_ptr<SoundInput> OpenClockedSoundInput(const SoundFormat& format, Event* done_event,
                                                  const NullInputOptions& options,
                                                  std::unique_ptr<CapturedSoundSource> source);
// The system's default microphone through PortAudio; rates the hardware lacks (7900 samples/s) are
// converted by the host layer. Null when there is no input device or it refuses the format.
std::unique_ptr<SoundInput> OpenPortAudioInput(const SoundFormat& format, Event* done_event);

}  // namespace corvel
