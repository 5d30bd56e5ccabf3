// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound_portaudio.h"

#include <portaudio.h>

namespace corvel {

std::shared_ptr<PortAudioLibrary> PortAudioLibrary::Acquire() {
    if (Pa_Initialize() != paNoError) return nullptr;
    return std::shared_ptr<PortAudioLibrary>(new PortAudioLibrary());
}

PortAudioLibrary::~PortAudioLibrary() {
    Pa_Terminate();
}

}  // namespace corvel
