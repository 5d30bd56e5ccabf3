// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/socket.h"

namespace corvel {

// Reads the data of one reply, whose length the reply header declared, in chunks of at most the buffer's
// size, and never past that length, so the next reply header stays in step. A long device list thus costs
// one recv per chunk instead of one per record. Any recv that returns 0 or less fails the read (closed,
// timed out, error). One thread; the buffer belongs to the caller.
class ReplyReader {
  public:
    ReplyReader(SocketHandle socket, uint64_t length, uint8_t* buffer, size_t capacity)
        : socket_(socket), unread_(length), buffer_(buffer), capacity_(capacity) {}

    // Copies the next n bytes of the reply (n must not exceed remaining()).
    bool Read(uint8_t* out, size_t n);
    // Drops the next n bytes (at most remaining()).
    bool Skip(uint64_t n);
    bool SkipRest() { return Skip(remaining()); }
    uint64_t remaining() const { return unread_ + (filled_ - used_); }

  private:
    bool Fill();

    SocketHandle socket_;
    uint64_t unread_;  // bytes of the reply still in the socket
    uint8_t* buffer_;
    size_t capacity_;
    size_t used_ = 0;
    size_t filled_ = 0;
};

}  // namespace corvel
