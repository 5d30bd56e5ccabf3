// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <memory>

namespace corvel {

// One reference to the PortAudio library, initialised for as long as any holder keeps it (PortAudio counts
// its initialisations). Streams keep a reference so that they are closed before the library ends.
// Threads: the client thread (PortAudio's set-up calls are not thread-safe).
class PortAudioLibrary {
  public:
    // Null when PortAudio cannot be initialised.
    static std::shared_ptr<PortAudioLibrary> Acquire();
    ~PortAudioLibrary();
    PortAudioLibrary(const PortAudioLibrary&) = delete;
    PortAudioLibrary& operator=(const PortAudioLibrary&) = delete;

  private:
    PortAudioLibrary() = default;
};

}  // namespace corvel
