// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <memory>
#include <mutex>

namespace corvel {

// One reference to the PortAudio library, initialised for as long as any holder keeps it (PortAudio counts
// its initialisations). Streams keep a reference so that they are closed before the library ends.
// Threads: any, under LockSetup (PortAudio's set-up calls are not thread-safe).
class PortAudioLibrary {
  public:
    // Null when PortAudio cannot be initialised.
    static std::shared_ptr<PortAudioLibrary> Acquire();
    ~PortAudioLibrary();
    PortAudioLibrary(const PortAudioLibrary&) = delete;
    PortAudioLibrary& operator=(const PortAudioLibrary&) = delete;

    // Held around every call that opens, starts, stops or closes a stream or asks about devices: players
    // reopen lost streams from their own audio threads while client threads open others. Never taken in
    // a stream callback.
    static std::unique_lock<std::mutex> LockSetup();

  private:
    PortAudioLibrary() = default;
};

}  // namespace corvel
