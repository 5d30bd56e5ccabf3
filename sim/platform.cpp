// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform.h"

#include <arpa/inet.h>

#include "transfer/transfer_wire.h"

namespace velq_sim {

namespace {

// Control codes under which an operator writes a channel's resolution and frame rate.
constexpr uint32_t kWriteResolution = 10;
constexpr uint32_t kWriteFrameRate = 12;

}  // namespace

uint8_t AudioCodeByName(const std::string& name) {
    static const char* const kNames[] = {"",        "g726-16", "g726-24", "g726-32",
                                         "g726-40", "ulaw",    "alaw",    "pcm"};
    for (uint8_t code = 1; code < 8; ++code) {
        if (name == kNames[code]) return code;
    }
    return 0;
}

std::optional<StreamSettings> StreamSettingsOf(const Vehicle& vehicle, int channel) {
    if (!vehicle.online || channel < 1 || channel > vehicle.channels) return std::nullopt;
    StreamSettings settings;
    const PictureFormat* format = PictureFormatByName(vehicle.picture);
    settings.picture_code = format != nullptr ? format->code : 2;
    settings.frame_rate = vehicle.frame_rate;
    if (auto it = vehicle.settings.find({channel, kWriteResolution}); it != vehicle.settings.end()) {
        // Resolutions 1..4 are the picture format codes of the same number.
        if (PictureFormatByCode(static_cast<uint8_t>(it->second)) != nullptr) {
            settings.picture_code = static_cast<uint8_t>(it->second);
        }
    }
    if (auto it = vehicle.settings.find({channel, kWriteFrameRate}); it != vehicle.settings.end()) {
        settings.frame_rate = it->second;
    }
    settings.audio_code = AudioCodeByName(vehicle.audio);
    if (settings.audio_code == 0) settings.audio_code = 3;
    return settings;
}

SimPlatform::SimPlatform(CenterConfig center, TransferConfig transfer, Fleet fleet, HttpConfig http)
    : transfer_address_(transfer.bind_address) {
    center_ = std::make_unique<CenterServer>(std::move(center), std::move(fleet));
    Fleet* fleet_of_center = &center_->fleet();
    transfer_ = std::make_unique<TransferServer>(
        std::move(transfer), [fleet_of_center](const std::string& device_id, int channel) {
            const auto vehicle = fleet_of_center->Find(device_id);
            return vehicle ? StreamSettingsOf(*vehicle, channel) : std::nullopt;
        });
    http_ = std::make_unique<HttpServer>(std::move(http), *center_);
}

SimPlatform::~SimPlatform() {
    Stop();
}

bool SimPlatform::Start(std::string* error) {
    if (!transfer_->Start(error)) return false;
    sockaddr_in address{};
    corvel::ResolveIPv4(transfer_address_.c_str(), transfer_->port(), &address);
    Fleet* fleet = &center_->fleet();
    const uint32_t ip = address.sin_addr.s_addr;
    const uint16_t port = transfer_->port();
    // Every vehicle's streams go through the one transfer server; unknown devices get no route.
    center_->set_route_handler(
        [fleet, ip, port](const corvel::ControlRecord& request, corvel::ControlRecord* reply) {
            if (!fleet->Find(std::string(request.id()))) return false;
            *reply = request;
            reply->value = static_cast<int32_t>(ip);
            reply->value2 = port;
            return true;
        });
    return center_->Start(error) && http_->Start(error);
}

void SimPlatform::Stop() {
    http_->Stop();
    center_->Stop();
    transfer_->Stop();
}

}  // namespace velq_sim
