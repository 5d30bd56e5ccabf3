// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound_portaudio.h"

#include <portaudio.h>

namespace corvel {

std::unique_lock<std::mutex> PortAudioLibrary::LockSetup() {
    static std::mutex setup;
    return std::unique_lock(setup);
}

std::shared_ptr<PortAudioLibrary> PortAudioLibrary::Acquire() {
    auto lock = LockSetup();
    if (Pa_Initialize() != paNoError) return nullptr;
    return std::shared_ptr<PortAudioLibrary>(new PortAudioLibrary());
}

PortAudioLibrary::~PortAudioLibrary() {
    auto lock = LockSetup();
    Pa_Terminate();
}

}  // namespace corvel
