// SPDX-License-Identifier: GPL-3.0-or-later
// The library's exported functions: thin wrappers that check the preconditions of each call and hand over
// to the session, device, channel and operation objects.
#include <cstring>
#include <mutex>
#include <new>

#include "base/le.h"
#include "base/text.h"
#include "corvel/corvel.h"
#include "session/channel.h"
#include "session/gprmc.h"
#include "session/session.h"

namespace {

constexpr int32_t kVersionV103 = 'V' | '1' << 8 | '0' << 16 | '3' << 24;

uint64_t PackOldNew(uint32_t old_value, uint32_t new_value) {
    return static_cast<uint64_t>(old_value) | static_cast<uint64_t>(new_value) << 32;
}

bool LoggedIn(const AppSession* session) {
    return session != nullptr && session->IsLoggedIn();
}

// VELQ_DEV_STATUS_WORDS: the sixteen received words, then the serial, copied as one consistent pair.
constexpr int kStatusWordsBytes = 17 * sizeof(uint32_t);

int CopyStatusWords(AppDevice* device, void* buffer, int buffer_size) {
    if (buffer == nullptr || buffer_size < kStatusWordsBytes) return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    std::lock_guard guard(device->lock);
    std::memcpy(out, device->received_words, sizeof(device->received_words));
    std::memcpy(out + sizeof(device->received_words), &device->received_serial, sizeof(uint32_t));
    return kStatusWordsBytes;
}

// VELQ_DEV_PRE_RECORD_SECONDS: an int32_t of 0..60 for every channel of the device; each video transfer
// picks the value up at its next frame.
int SetPreRecordSeconds(AppDevice* device, const void* value, int length) {
    if (!LoggedIn(device->session)) return -1;
    if (value == nullptr || length != static_cast<int>(sizeof(int32_t))) return 0;
    int32_t seconds = 0;
    std::memcpy(&seconds, value, sizeof seconds);
    if (seconds < 0 || seconds > corvel::kMaxPreRecordSeconds) return 0;
    device->pre_record_seconds.store(seconds);
    return 4;
}

}  // namespace

extern "C" {

// ---- Session ----

int VelqApp_GetVersion(void) {
    return kVersionV103;
}

AppSession* VelqApp_Construct(VelqWindow* window, uint32_t message) {
    return new (std::nothrow) AppSession(window, message);
}

void VelqApp_Destruct(AppSession* session) {
    delete session;
}

int VelqApp_SetCenterServer(AppSession* session, const char* host, uint16_t tcp_port, uint16_t udp_port) {
    return session->SetCenterServer(host, tcp_port, udp_port) ? 1 : 0;
}

int VelqApp_Login(AppSession* session, const char* user, const char* password) {
    return session->Login(user, password) ? 1 : 0;
}

int VelqApp_Logout(AppSession* session) {
    session->Logout();
    return 1;
}

int VelqApp_IsActive(AppSession* session) {
    return LoggedIn(session) ? 1 : 0;
}

int VelqApp_ShowAllDevice(AppSession* session) {
    return session->ShowAllDevice() ? 1 : 0;
}

AppDevice* VelqApp_CreateDevice(AppSession* session, const char* id) {
    if (!LoggedIn(session)) return nullptr;
    AppDevice* device = session->TakeDevice();
    if (device == nullptr) return nullptr;
    device->BindNew(session, std::string_view(id ? id : "", corvel::BoundedLength(id, 63)));
    return device;
}

int VelqApp_GPRMC(const char* sentence, double* latitude, double* longitude, double* speed_kmh,
                  double* course) {
    corvel::GprmcFix fix;
    const corvel::GprmcResult result = corvel::ParseGprmc(sentence, &fix);
    if (result == corvel::GprmcResult::kNoSentence) return 0;
    if (latitude != nullptr) *latitude = fix.latitude;
    if (longitude != nullptr) *longitude = fix.longitude;
    if (speed_kmh != nullptr) *speed_kmh = fix.speed_kmh;
    if (course != nullptr) *course = fix.course;
    return result == corvel::GprmcResult::kValid ? 1 : 0;
}

// ---- Device ----

int VelqDev_SetDevInfo(AppDevice* device, int code, const void* value, int length) {
    if (code == VELQ_DEV_PRE_RECORD_SECONDS) return SetPreRecordSeconds(device, value, length);
    if (!LoggedIn(device->session)) return 0;
    // The request is the session's; any of its devices carries it.
    if (code == VELQ_DEV_QUERY_STATUS_WORDS) return device->session->QueryStatusWords() ? 1 : 0;
    return device->SetInfo(code, value, length);
}

int VelqDev_GetDevInfo(AppDevice* device, int code, void* buffer, int buffer_size) {
    if (!LoggedIn(device->session)) return -1;
    if (code == VELQ_DEV_STATUS_WORDS) return CopyStatusWords(device, buffer, buffer_size);
    if (code == VELQ_DEV_PRE_RECORD_SECONDS) {
        if (buffer == nullptr || buffer_size < 4) return 0;
        const int32_t seconds = device->pre_record_seconds.load();
        std::memcpy(buffer, &seconds, sizeof seconds);
        return 4;
    }
    return device->GetInfo(code, buffer, buffer_size);
}

int32_t VelqDev_SetUserData(AppDevice* device, int32_t value) {
    return device->user_data.exchange(value);
}

int32_t VelqDev_GetUserData(AppDevice* device) {
    return device->user_data.load();
}

int VelqDev_GPSPlay(AppDevice*) {
    return 0;
}

void VelqDev_GPSStop(AppDevice*) {}

void VelqDev_Release(AppDevice* device) {
    if (device->state.load() != kDeviceUnlisted) return;
    device->session->ReleaseDevice(device);
}

AppChannel* VelqDev_CreateChannel(AppDevice* device, int channel, VelqWindow* window) {
    AppSession* session = device->session;
    if (!LoggedIn(session) || device->state.load() == kDeviceUnlisted) return nullptr;
    // Stream requests and talk packets carry the channel number in one byte: a larger one would reach
    // another channel.
    if (channel < 0 || channel > AppChannel::kMaxNumber) return nullptr;
    AppChannel* created = session->TakeChannel();
    if (created == nullptr) return nullptr;
    created->Bind(session, device, channel, window);
    return created;
}

// ---- Channel ----

int VelqChn_GetChnInfo(AppChannel* channel, int code, intptr_t* value) {
    if (!LoggedIn(channel->session)) return -1;
    intptr_t result;
    switch (code) {
        case VELQ_CHN_DEVICE:
            result = reinterpret_cast<intptr_t>(channel->device);
            break;
        case VELQ_CHN_NUMBER:
            result = channel->channel_number;
            break;
        case VELQ_CHN_WINDOW:
            result = reinterpret_cast<intptr_t>(channel->window);
            break;
        case VELQ_CHN_VIDEO:
            result = channel->IsVideoPlaying();
            break;
        case VELQ_CHN_AUDIO:
            result = channel->IsAudioPlaying();
            break;
        case VELQ_CHN_TALK:
            result = channel->IsTalking();
            break;
        case VELQ_CHN_FRAMES:
            result = channel->frame_rate;
            break;
        case VELQ_CHN_KBPS:
            result = channel->total_rate;
            break;
        case VELQ_CHN_WIDTH:
            result = channel->video_width.load();
            break;
        case VELQ_CHN_HEIGHT:
            result = channel->video_height.load();
            break;
        case VELQ_CHN_RECORDING:
            result = channel->recording.load();
            break;
        default:
            return 0;
    }
    if (value != nullptr) *value = result;
    return 4;
}

uint64_t VelqChn_SetBkColor(AppChannel* channel, uint32_t color_bgr) {
    const uint32_t old = channel->video.background_color.exchange(color_bgr);
    return PackOldNew(old, color_bgr);
}

uint64_t VelqChn_ShowVerbose(AppChannel* channel, int on) {
    const uint32_t old = static_cast<uint32_t>(channel->video.verbose.exchange(on));
    return PackOldNew(old, static_cast<uint32_t>(on));
}

uint64_t VelqChn_SetBufKeep(AppChannel* channel, int tenths_of_second) {
    const uint32_t old = static_cast<uint32_t>(channel->video.buffer_keep.exchange(tenths_of_second));
    return PackOldNew(old, static_cast<uint32_t>(tenths_of_second));
}

int VelqChn_VideoPlay(AppChannel* channel) {
    return LoggedIn(channel->session) && channel->VideoPlay();
}
void VelqChn_VideoStop(AppChannel* channel) {
    channel->VideoStop();
}
int VelqChn_IsVideoPlaying(AppChannel* channel) {
    return channel->IsVideoPlaying();
}
int VelqChn_VSourceStart(AppChannel* channel) {
    return LoggedIn(channel->session) && channel->VSourceStart();
}
void VelqChn_VSourceStop(AppChannel* channel) {
    channel->VSourceStop();
}
int VelqChn_IsVSourceRunning(AppChannel* channel) {
    return channel->IsVSourceRunning();
}
int VelqChn_AudioPlay(AppChannel* channel) {
    return LoggedIn(channel->session) && channel->AudioPlay();
}
void VelqChn_AudioStop(AppChannel* channel) {
    channel->AudioStop();
}
int VelqChn_IsAudioPlaying(AppChannel* channel) {
    return channel->IsAudioPlaying();
}
int VelqChn_ASourceStart(AppChannel* channel) {
    return LoggedIn(channel->session) && channel->ASourceStart();
}
void VelqChn_ASourceStop(AppChannel* channel) {
    channel->ASourceStop();
}
int VelqChn_IsASourceRunning(AppChannel* channel) {
    return channel->IsASourceRunning();
}
int VelqChn_TalkStart(AppChannel* channel) {
    return LoggedIn(channel->session) && channel->TalkStart();
}
void VelqChn_TalkStop(AppChannel* channel) {
    channel->TalkStop();
}
int VelqChn_IsTalking(AppChannel* channel) {
    return channel->IsTalking();
}

int VelqChn_RecordStart(AppChannel* channel, const char16_t* path, int max_duration_s) {
    if (!LoggedIn(channel->session)) return 0;
    return channel->RecordStart(path, max_duration_s) ? 1 : 0;
}

int VelqChn_RecordStop(AppChannel* channel) {
    channel->RecordStop();
    return 1;
}

int VelqChn_IsRecording(AppChannel* channel) {
    return channel->recording.load() ? 1 : 0;
}

int VelqChn_Snapshot(AppChannel* channel, const char16_t* path) {
    return channel->Snapshot(path) ? 1 : 0;
}

void VelqChn_Refresh(AppChannel* channel) {
    channel->video.Refresh();
}

int VelqChn_OnTimer(AppChannel* channel) {
    return channel->OnTimer();
}

void VelqChn_Release(AppChannel* channel) {
    AppSession* session = channel->session;
    if (!LoggedIn(session)) return;
    channel->StopAll();
    AppDevice* device = channel->device;
    bool listed = false;
    {
        std::lock_guard guard(device->channels_lock);
        for (auto it = device->channels.begin(); it != device->channels.end(); ++it) {
            if (*it == channel) {
                device->channels.erase(it);
                listed = true;
                break;
            }
        }
    }
    if (!listed) return;
    channel->WaitForAudioWriters();
    session->ReleaseChannel(channel);
}

// ---- Operations ----

int VelqOpt_QueryAllDevice(AppSession* session) {
    return session->QueryAllDevice() ? 1 : 0;
}

int VelqOpt_QueryModify(AppDevice* device) {
    return device->session->QueryModify(device) ? 1 : 0;
}

int VelqOpt_QueryControl(AppDevice* device, int type, int channel, int value, int value2) {
    return device->session->QueryControl(device, type, channel, value, value2) ? 1 : 0;
}

AppDevice* VelqOpt_GetDevice(AppOperation* operation) {
    return operation->device;
}

int VelqOpt_GetType(AppOperation* operation) {
    return operation->kind;
}

const void* VelqOpt_GetGPSResult(AppOperation* operation) {
    return operation->kind == kOpPosition ? operation->data : nullptr;
}

int VelqOpt_GetControlResult(AppOperation* operation, int* channel, int* value, int* value2) {
    if (operation->kind <= 128) return 0;
    const uint8_t* record = operation->data;
    if (channel != nullptr) *channel = static_cast<int>(corvel::LoadLE32(record + 72));
    if (value != nullptr) *value = static_cast<int>(corvel::LoadLE32(record + 76));
    if (value2 != nullptr) *value2 = static_cast<int>(corvel::LoadLE32(record + 80));
    return 1;
}

void VelqOpt_Release(AppSession* session, AppOperation* operation) {
    session->ReleaseOperation(operation);
}

}  // extern "C"
