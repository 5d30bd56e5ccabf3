// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole simulated platform: the center server with its fleet and the transfer server that streams the
// fleet's media, and the web side with the playback page, wired together (media routes from the center point
// at the transfer server, which reads each vehicle's current settings from the fleet). velq-sim runs one;
// integration tests run one in-process.
#include <memory>
#include <optional>
#include <string>

#include "center_server.h"
#include "fleet.h"
#include "http_server.h"
#include "transfer_server.h"

namespace velq_sim {

// What a vehicle streams on a channel now: its picture format, frame rate and audio codec, with the
// resolution and frame rate that an operator wrote taking precedence. nullopt: unknown device, a channel
// it does not have, or offline.
std::optional<StreamSettings> StreamSettingsOf(const Vehicle& vehicle, int channel);
// Audio codec code (1..7) of a fleet file's codec name ("g726-16".."g726-40", "ulaw", "alaw", "pcm"); 0 if
// unknown.
uint8_t AudioCodeByName(const std::string& name);

class SimPlatform {
  public:
    SimPlatform(CenterConfig center, TransferConfig transfer, Fleet fleet, HttpConfig http = {});
    ~SimPlatform();

    bool Start(std::string* error);
    void Stop();
    CenterServer& center() { return *center_; }
    TransferServer& transfer() { return *transfer_; }
    HttpServer& http() { return *http_; }

  private:
    std::unique_ptr<CenterServer> center_;
    std::unique_ptr<TransferServer> transfer_;
    std::unique_ptr<HttpServer> http_;
    std::string transfer_address_;
};

}  // namespace velq_sim
