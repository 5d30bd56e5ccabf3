// SPDX-License-Identifier: GPL-3.0-or-later
#include "connection_set.h"

#include <algorithm>
#include <system_error>

namespace velq_sim {

ConnectionSet::ConnectionSet(size_t max_connections, Spawner spawner)
    : max_connections_(max_connections), spawner_(std::move(spawner)) {
    if (!spawner_) spawner_ = [](std::function<void()> body) { return std::thread(std::move(body)); };
}

ConnectionSet::~ConnectionSet() {
    StopAll();
}

ConnectionSet::Launched ConnectionSet::Launch(corvel::SocketHandle accepted,
                                              std::function<void(corvel::SocketHandle)> serve) {
    std::lock_guard guard(mutex_);
    ReapLocked();
    if (slots_.size() >= max_connections_) return Launched::kFull;
    auto slot = std::make_shared<Slot>();
    slot->socket.store(accepted);
    try {
        // The thread holds its slot, so the socket outlives a StopAll that wakes it.
        slot->thread = spawner_([slot, serve = std::move(serve)] {
            serve(slot->socket.load());
            corvel::CloseSocketOnce(slot->socket);
            slot->done.store(true);
        });
    } catch (const std::system_error&) {
        return Launched::kNoThread;
    }
    slots_.push_back(std::move(slot));
    return Launched::kStarted;
}

void ConnectionSet::ReapLocked() {
    std::erase_if(slots_, [](const std::shared_ptr<Slot>& slot) {
        if (!slot->done.load()) return false;
        slot->thread.join();
        return true;
    });
}

void ConnectionSet::Reap() {
    std::lock_guard guard(mutex_);
    ReapLocked();
}

size_t ConnectionSet::size() {
    std::lock_guard guard(mutex_);
    return slots_.size();
}

void ConnectionSet::StopAll() {
    std::vector<std::shared_ptr<Slot>> slots;
    {
        std::lock_guard guard(mutex_);
        for (auto& slot : slots_) corvel::WakeSocket(slot->socket);
        slots.swap(slots_);
    }
    for (auto& slot : slots) slot->thread.join();
}

std::chrono::milliseconds AcceptBackoff::Failed() {
    pause_ = pause_.count() == 0 ? kFirst : std::min(pause_ * 2, kCeiling);
    return pause_;
}

}  // namespace velq_sim
