#pragma once
// Encoded H.264 loops that the simulated vehicles stream: each picture format is encoded once at start-up
// (a moving test pattern through libx264), and every channel streaming that format sends the same frames,
// so hundreds of channels cost no encoding.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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

// Encodes `frame_count` frames of a moving pattern, key frame every `gop` frames, no B-frames. Empty on
// an encoder failure (the error goes to `error`).
std::vector<EncodedFrame> EncodeTestPattern(int width, int height, int frame_rate, int frame_count, int gop,
                                            std::string* error);

// The loops by format and frame rate, encoded on first use and shared afterwards. Any thread.
class H264Library {
  public:
    explicit H264Library(int loop_frames = 50, int gop = 25) : loop_frames_(loop_frames), gop_(gop) {}
    // Null when the format is unknown or the encoder failed.
    std::shared_ptr<const std::vector<EncodedFrame>> Loop(const PictureFormat& format, int frame_rate);

  private:
    struct Entry {
        uint8_t code;
        int frame_rate;
        std::shared_ptr<const std::vector<EncodedFrame>> frames;
    };
    const int loop_frames_;
    const int gop_;
    std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace velq_sim
