// What tests and the fuzz seed maker share: pictures from the intra encoder, sentences, whole
// recordings in the recorder's layout from the recorder-stream writer, scratch folders and
// files, and frame buffers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "stream/FrameBuffer.h"
#include "tools/RecorderWriter.h"

namespace droskal::test {

using Bytes = std::vector<std::uint8_t>;

// Bytes that hold no start code prefix (never two zeros in a row).
Bytes NoCodeBytes(std::size_t n, std::uint32_t seed);
// An intra-coded picture: noise from `seed`, or, when seed is 0, a gradient moved by `index`
// under a checkerboard of 32-pixel squares.
Bytes EncodedPicture(int width, int height, int quantiser, std::uint32_t seed, int index = 0);

// One sentence as the recorder writes it; degrees are negative south and west.
struct Fix {
    double seconds = 81256;  // second of the day, UTC: 22:34:16
    double lat = 52.20576, lon = 21.020575;
    std::string knots = "12.3", status = "A", date = "300306";
};
std::string Sentence(const Fix& fix);

// A recording in the recorder's layout. Picture i carries sentence(i) as its user data (none
// where that is empty) and the gradient moved by i, or with quantiser 0 a stand-in slice of
// sliceBytes bytes.
struct RecordingPlan {
    int width = 320, height = 240, count = 5;
    int quantiser = 4;
    std::function<std::string(int)> sentence;
    std::size_t sliceBytes = 2;
    char closingByte = '\r';
    bool loadedMatrix = false;  // weights 8 + i in scan order
    bool lastEndCode = true;    // false: the file ends inside the last picture
    int junkAfter = 0;          // zero bytes after each picture
    int pictureRate = 3;        // the sequence header's code: 25 pictures a second
};
RecorderWriter BuildRecording(const RecordingPlan& plan);

// A drive: `count` pictures one second apart from `startSeconds` (UTC seconds of 30.03.2006),
// moving north 0.0001 degree (11 m) a second; without sentences when startSeconds < 0. The
// slices are real pictures when `encoded`, else stand-ins of `sliceBytes` bytes.
RecorderWriter DriveRecording(int width, int count, double startSeconds, bool encoded = false,
                              std::size_t sliceBytes = 2);

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes the bytes (making the folders on the way) and gives the file's path.
    std::string write(const std::string& name, const Bytes& bytes) const;

  private:
    std::filesystem::path path_;
};

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
// What a fragment save writes for the stretch from the picture at `picturePos` to `end` (as
// PicturePositions count): the recording's first 20 bytes (its sequence and group headers),
// then the bytes from the picture's group header, 12 bytes before it, up to `end`.
Bytes Fragment(const Bytes& recording, std::int64_t picturePos, std::int64_t end);
// A frame buffer holding `payload` followed by a sequence end code, zeros after it.
std::unique_ptr<FrameBuffer> FrameOf(const Bytes& payload);
// Slice payloads (after 00 00 01 01, before the next start code) of a stream with one slice a
// picture.
std::vector<Bytes> SlicePayloads(const Bytes& stream);

}  // namespace droskal::test
