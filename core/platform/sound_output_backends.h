// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/sound_clock.h"
#include "platform/sound_output.h"

namespace corvel {

// Device faults a null output plays out when told to, so that players' recovery paths can run.
struct NullOutputFaults {
    // Each clock step takes one from here and loses the buffer (as a device that went away).
    std::atomic<uint32_t> losses_pending{0};
    // Each Restore takes one from here and fails.
    std::atomic<uint32_t> restores_to_refuse{0};
    std::atomic<uint32_t> restores_done{0};
};

struct NullOutputOptions {
    // Drives the device instead of its own real-time thread when given.
    std::shared_ptr<ManualSoundClock> clock;
    // The device refuses every mixing format, as a device that cannot be set up does.
    bool refuse_format = false;
    std::shared_ptr<NullOutputFaults> faults;
};

// No device, clocked like one: every buffer's play cursor moves at the format's byte rate, in 10 ms steps.
std::unique_ptr<SoundOutputDevice> OpenNullSoundOutput(const NullOutputOptions& options);
// As null, and every byte played (from Play until the buffer stops or is destroyed) is appended to a WAV
// file at `path`, created afresh for each buffer and completed when the buffer is destroyed. Null when the
// file cannot be created.
std::unique_ptr<SoundOutputDevice> OpenWavSoundOutput(const std::string& path,
                                                      const NullOutputOptions& options);
// Receives every byte a clocked buffer plays, on the clock's thread.
class PlayedSoundSink {
  public:
    virtual ~PlayedSoundSink() = default;
    virtual void Played(const uint8_t* bytes, uint32_t count) = 0;
};
// Makes the sink of one new buffer; null refuses the buffer.
using PlayedSoundSinkMaker = std::function<std::unique_ptr<PlayedSoundSink>(const SoundFormat& format)>;
// The null device whose buffers also hand what they play to a sink of their own (what wav is made of).
std::unique_ptr<SoundOutputDevice> OpenClockedSoundOutput(const NullOutputOptions& options,
                                                          PlayedSoundSinkMaker make_sink);

// The system's default output through PortAudio; null when PortAudio finds no usable output device.
std::unique_ptr<SoundOutputDevice> OpenPortAudioOutput();

}  // namespace corvel
