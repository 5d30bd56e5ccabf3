// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/locks.h"
#include "center/tcp_service.h"
#include "center/timing.h"
#include "center/udp_service.h"
#include "corvel/window.h"
#include "media/talk_audio.h"
#include "platform/overlay_font.h"
#include "platform/sound_input.h"
#include "platform/sound_output.h"
#include "session/device.h"
#include "session/device_index.h"
#include "session/operation.h"
#include "session/pool.h"

struct AppChannel;

// Device states.
inline constexpr int32_t kDeviceUnlisted = 0;
inline constexpr int32_t kDeviceAbsent = 1;
inline constexpr int32_t kDeviceAdding = 2;
inline constexpr int32_t kDevicePresent = 3;

// The object behind a session handle: the client's window and message, the center server's address and
// the credentials, the device registry and the pools of devices, channels and operations. Every event the
// library posts goes out through PostEvent.
//
// Threads: the client thread calls everything but the registry merge; the center-server thread calls
// BeginList, MergeDevice, EndList and ApplyStatus. The registry is guarded by `devices_lock_`, each device
// by its own lock, taken in that order.
struct AppSession {
    AppSession(VelqWindow* target, uint32_t message_number);
    ~AppSession();
    AppSession(const AppSession&) = delete;
    AppSession& operator=(const AppSession&) = delete;

    VelqWindow* const window;
    const uint32_t message;

    char server_host[260] = {};
    uint16_t tcp_port = 0;
    uint16_t udp_port = 0;
    char user_name[32] = {};
    char password[32] = {};
    char session_id[32] = {};

    // The statistics font that every channel's overlay draws with.
    corvel::OverlayFont overlay_font;
    // The sound backends named by CORVEL_SOUND_OUT and CORVEL_SOUND_IN, read once per session.
    corvel::SoundOutputChoice sound_output{corvel::SoundOutputChoice::FromEnvironment()};
    corvel::SoundInputChoice sound_input{corvel::SoundInputChoice::FromEnvironment()};
    // The one microphone capture that feeds the talk buffer of every talking channel.
    corvel::CMyTalkAudio& talk_audio() { return talk_audio_; }

    // Posts the session's message with the code and value; never waits for the client.
    void PostEvent(uint32_t code, intptr_t value) const;

    // Logged in means the center-server TCP service thread exists.
    bool IsLoggedIn() const;
    // Not logged in, and no service worker abandoned by a stop time-out is still inside its Run (such a
    // worker still reads the host, ports and credentials).
    bool ServicesIdle() const;
    // False unless ServicesIdle.
    bool SetCenterServer(const char* host, uint16_t tcp, uint16_t udp);
    // Stores the credentials (31 bytes each at most) and the session identifier "%s-%08X" of the user name
    // and the tick, cut to its 32-byte field.
    void StoreCredentials(const char* user, const char* pass, uint32_t tick);
    // Starts the TCP service and then the UDP service; false (and nothing left running) when either does
    // not start or the services are not idle (logged in, or an abandoned worker still running). Client
    // thread.
    bool Login(const char* user, const char* pass);
    // Stops the UDP and then the TCP service (10000 ms each) and releases every registered device with its
    // channels into the pools. Client thread.
    void Logout();
    // Pauses of both services for the next Login (tests shorten them).
    void set_center_timing(const corvel::CenterTiming& timing);
    // The pauses in force; media transfers take their retry pause from here when they start.
    const corvel::CenterTiming& center_timing() const { return center_timing_; }

    // Requests to the center server (client thread). Each takes an operation and queues it on the TCP
    // service; false when not logged in or no operation can be had.
    bool ShowAllDevice();
    bool QueryAllDevice();
    // Queues the request behind VelqDev_SetDevInfo(VELQ_DEV_QUERY_STATUS_WORDS).
    bool QueryStatusWords();
    // Add (state 0) or modify; a device of state 0 goes back to the pool when this fails.
    bool QueryModify(AppDevice* device);
    bool QueryControl(AppDevice* device, int32_t type, int32_t channel, int32_t value, int32_t value2);

    corvel::CAppTcpService& tcp_service() { return tcp_service_; }
    corvel::CAppUdpService& udp_service() { return udp_service_; }

    // Registry merge of a device-list reply, in the order BeginList, MergeDevice per record, EndList.
    void BeginList(uint32_t count);
    // Returns true when the candidate was appended (the registry owns it now); false when an existing
    // device was updated from it and the candidate may be reused.
    bool MergeDevice(AppDevice* candidate);
    void EndList();
    // Applies one status record (368 bytes at most, zero-padded) to the registered device it names. The
    // words of a record naming no registered device are kept aside (see unlisted_words_) for the
    // device's received words once a list registers it; the event bookkeeping never sees them.
    void ApplyStatus(const uint8_t* record, size_t bytes);
    // Only the received words of a record older than the applied stamp (the reply to QueryStatusWords):
    // no event, no record copy, and the event bookkeeping's words stay as they are.
    void RefreshReceivedWords(const uint8_t* record, size_t bytes);
    // Registered device with this identifier, or null.
    AppDevice* FindDevice(std::string_view id);
    size_t DeviceCount();
    // Snapshot of the registry in list order (for tests and the logout walk).
    std::vector<AppDevice*> Devices();
    // The registry index's longest probe run (for tests and diagnostics).
    size_t LongestIndexProbe();

    // Devices, channels and operations from the pools.
    AppDevice* TakeDevice() { return device_pool_.Take(); }
    void ReleaseDevice(AppDevice* device) { device_pool_.Release(device); }
    AppChannel* TakeChannel();
    void ReleaseChannel(AppChannel* channel);
    // The most operation records a session holds at once: queued, in flight, or posted with event 64 and
    // not yet given back. A client asking faster than the server answers, or keeping what it was given,
    // then sees its requests fail as when memory runs out, and the session's memory stays bounded.
    static constexpr size_t kMaxOperations = 4096;
    // Zero-filled operation record; null when memory runs out or kMaxOperations records are out. Any
    // thread (the exports, the center-server services, the position transfers).
    AppOperation* TakeOperation();
    void ReleaseOperation(AppOperation* operation) { operation_pool_.Release(operation); }

    // Stops every channel of a device, returns them to the channel pool, and takes the device out of the
    // registry into the device pool.
    void ReleaseRegisteredDevice(AppDevice* device);

    corvel::Pool<AppDevice, corvel::spin_lock>& device_pool() { return device_pool_; }
    corvel::Pool<AppChannel, corvel::spin_lock>& channel_pool() { return channel_pool_; }
    corvel::Pool<AppOperation, corvel::light_lock>& operation_pool() { return operation_pool_; }

  private:
    AppDevice* FindLocked(uint32_t key, std::string_view id) const;
    void KeepUnlistedLocked(std::string_view id, const uint32_t (&words)[16]);
    // False when the device is not registered.
    bool RemoveFromRegistryLocked(AppDevice* device);

    corvel::spin_lock devices_lock_;
    std::vector<AppDevice*> devices_;  // registry in list order
    corvel::DeviceIndex by_key_;       // the same devices by index key (IdentifierHash)
    // The words of status records that named no registered device, by identifier: a list that registers
    // the device later gives them to its received words (the status events never see them). Under
    // devices_lock_; at most kMaxUnlistedWords entries, emptied at logout.
    static constexpr size_t kMaxUnlistedWords = 1u << 16;
    std::unordered_map<std::string, std::array<uint32_t, 16>> unlisted_words_;
    corvel::Pool<AppDevice, corvel::spin_lock> device_pool_;
    corvel::Pool<AppChannel, corvel::spin_lock> channel_pool_;
    corvel::Pool<AppOperation, corvel::light_lock> operation_pool_{kMaxOperations};
    // After the channel pool, so that it is stopped before any talk buffer it may still feed goes away.
    corvel::CMyTalkAudio talk_audio_{&sound_input};
    // Declared last so that they are destroyed first: their workers use the registry and the pools.
    corvel::CenterTiming center_timing_;
    corvel::CAppTcpService tcp_service_{this};
    corvel::CAppUdpService udp_service_{this, &tcp_service_};
};
