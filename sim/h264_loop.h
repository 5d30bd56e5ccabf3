// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Encoded H.264 loops that the simulated vehicles stream: a moving test pattern through libx264 with the
// vehicle's device id and channel number drawn in, so that pictures tell which channel they come from.
// Each channel's loop is encoded when a stream first asks for it (a fleet of any size starts at once) and
// shared by every stream of that channel while one holds it.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/overlay_font.h"

namespace velq_sim {

struct EncodedFrame {
    std::vector<uint8_t> bytes;  // Annex B, parameter sets in front of every key frame
    bool key = false;
};

struct PictureFormat {
    uint8_t code;  // the format code the stream header carries
    int width;
    int height;
    const char* name;
};

// The formats the fleet may use; null for an unknown name or code.
const PictureFormat* PictureFormatByName(const std::string& name);
const PictureFormat* PictureFormatByCode(uint8_t code);

// What is drawn into the top left corner of every picture: two lines of text on a dark box.
struct PictureLabel {
    std::string first_line;   // the device id
    std::string second_line;  // "channel N"
};

struct EncodeOptions {
    int frame_rate = 25;
    int frame_count = 50;
    int gop = 25;                               // a key frame every gop frames, no B-frames
    const PictureLabel* label = nullptr;        // none when null
    const corvel::OverlayFont* font = nullptr;  // draws the label; none when null or the font fails
    bool encoder_log = false;  // libx264's informational lines (its statistics) on standard error
};

// Encodes a moving pattern. Empty on an encoder failure (the error goes to `error`).
std::vector<EncodedFrame> EncodeTestPattern(int width, int height, const EncodeOptions& options,
                                            std::string* error);

// The loops by channel, picture format and frame rate, encoded on first use and shared while any stream
// holds them; a loop nobody holds is freed and encoded again when asked for. Loops of different channels
// are encoded in parallel. Any thread.
class H264Library {
  public:
    explicit H264Library(int loop_frames = 50, int gop = 25, bool encoder_log = false)
        : loop_frames_(loop_frames), gop_(gop), encoder_log_(encoder_log) {}
    // Null when the format is unknown or the encoder failed.
    std::shared_ptr<const std::vector<EncodedFrame>> Loop(const PictureFormat& format, int frame_rate,
                                                          const std::string& device_id, int channel);

  private:
    struct Slot {
        std::mutex mutex;  // held while the loop is encoded
        std::weak_ptr<const std::vector<EncodedFrame>> frames;
    };
    const int loop_frames_;
    const int gop_;
    const bool encoder_log_;
    const corvel::OverlayFont font_;  // loaded at the first label (locked inside)
    std::mutex mutex_;                // guards slots_
    std::map<std::string, std::shared_ptr<Slot>> slots_;
};

}  // namespace velq_sim
