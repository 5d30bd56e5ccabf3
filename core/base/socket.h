// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace corvel {

using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;

// Time-outs of the connection pattern that every network worker follows.
inline constexpr uint32_t kConnectTimeoutMs = 20000;
inline constexpr uint32_t kSocketTimeoutMs = 30000;

// Resolves a dotted IPv4 address, or else a host name (first IPv4 address), into `out` with the given
// port (host order). False when the name does not resolve.
bool ResolveIPv4(const char* host, uint16_t port, sockaddr_in* out);

// Atomically takes the socket out of `handle` (leaving kInvalidSocket) and, when there was one, shuts it
// down both ways and closes it; exactly one caller closes. Call it from the thread that uses the socket
// (the worker), or from the owner once the worker has left Run: closing a descriptor that another thread
// is blocked on lets the number be reused under that thread.
bool CloseSocketOnce(std::atomic<SocketHandle>& handle);

// Shuts the socket in `handle` down both ways without closing it, so that a worker blocked in recv/send on
// it returns at once and then closes it itself. This is what a controlling thread's Stop calls.
void WakeSocket(const std::atomic<SocketHandle>& handle);

// Connects a blocking socket with a bounded wait: non-blocking connect, select for writability at most
// timeout_ms, SO_ERROR must be 0, then back to blocking. A refused connection fails as soon as select
// reports the socket.
bool ConnectWithTimeout(SocketHandle socket, const sockaddr_in& address,
                        uint32_t timeout_ms = kConnectTimeoutMs);

// Receive and send time-outs of timeout_ms each, SO_DEBUG off.
bool SetSocketTimeouts(SocketHandle socket, uint32_t timeout_ms = kSocketTimeoutMs);

// Exactly n bytes or failure: any recv that returns 0 or less (closed, timed out, error) fails the whole
// call.
bool RecvAll(SocketHandle socket, void* buffer, size_t n);
// All n bytes or failure; sends never raise SIGPIPE.
bool SendAll(SocketHandle socket, const void* buffer, size_t n);
// Receives and drops n bytes, at most 512 per recv; n = 0 succeeds without a call.
bool RecvDiscard(SocketHandle socket, size_t n);

}  // namespace corvel
