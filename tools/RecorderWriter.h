#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace droskal {

// Sequence header fields the recorder writes before every picture.
struct SequenceHeader {
    int width = 640;
    int height = 480;
    int aspectRatio = 1;    // square pixels
    int pictureRate = 3;    // 25 pictures per second
    int bitRate = 0x3FFFF;  // variable bit rate
    int vbvBufferSize = 20;
    // Loaded intra quantiser matrix, in the order it is written (zig-zag scan order).
    std::optional<std::array<std::uint8_t, 64>> intraMatrix;
};

// One picture as the recorder lays it out.
struct RecorderPicture {
    bool sequenceHeader = true;  // 12 bytes, 76 with a loaded intra matrix
    bool gopHeader = true;       // 8 bytes
    int temporalReference = 0;
    int vbvDelay = 0xFFFF;
    // User-data blocks (00 00 01 B2 + bytes) before the slice, in order.
    std::vector<std::vector<std::uint8_t>> userData;
    // Bytes after the slice 1 start code 00 00 01 01 (slice header and macroblocks, possibly
    // further slices with their own start codes).
    std::vector<std::uint8_t> slice;
    bool endCode = true;                  // 00 00 01 B7; a cut-off picture lacks it
    std::vector<std::uint8_t> junkAfter;  // anything between this picture and the next
};

// 1-based file positions of one written picture (0 where the part is absent).
struct PicturePositions {
    std::int64_t headersStart = 0;  // first byte of its sequence header (or GOP, or picture code)
    std::int64_t picturePos = 0;    // last byte of 00 00 01 00
    std::int64_t userDataPos = 0;   // first byte after the last 00 00 01 B2
    std::int64_t slicePos = 0;      // the 01 of the slice 1 start code
    std::int64_t endCodePos = 0;    // the B7 of the sequence end code
};

// Builds recorder streams byte by byte, for tests, benchmarks and the demo recording.
class RecorderWriter {
  public:
    explicit RecorderWriter(SequenceHeader header = {}) : header_(std::move(header)) {}

    const PicturePositions& addPicture(const RecorderPicture& picture);
    void appendRaw(const std::vector<std::uint8_t>& bytes);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    const std::vector<PicturePositions>& pictures() const { return pictures_; }
    // Positions are reported as if the stream began `offset` bytes into a file.
    void setBaseOffset(std::int64_t offset) { base_ = offset; }

    bool writeFile(const std::string& path) const;

    void appendSequenceHeader();
    void appendGopHeader(int pictureIndex);

  private:
    void appendStartCode(std::uint8_t value);
    std::int64_t lastPosition() const { return base_ + static_cast<std::int64_t>(bytes_.size()); }

    SequenceHeader header_;
    std::vector<std::uint8_t> bytes_;
    std::vector<PicturePositions> pictures_;
    std::int64_t base_ = 0;
};

// Fields of a $GPRMC sentence as the recorder writes them (text, exactly as they will stand).
struct RmcFields {
    std::string time = "223416.000";  // hhmmss.sss, the recorder's 10 characters
    std::string status = "A";
    std::string lat = "5212.3456";  // ddmm.mmmm
    std::string latHemisphere = "N";
    std::string lon = "02101.2345";  // dddmm.mmmm
    std::string lonHemisphere = "E";
    std::string speedKnots = "12.3";
    std::string course = "45.6";
    std::string date = "300306";  // ddmmyy
    bool checksum = true;         // append "*hh"
};

// "$GPRMC,time,status,lat,N,lon,E,speed,course,date,,[*hh]".
std::string BuildGprmc(const RmcFields& fields);

// Recorder formats for numbers: ddmm.mmmm, dddmm.mmmm, hhmmss.sss from degrees and seconds.
std::string FormatLatitude(double degrees);
std::string FormatLongitude(double degrees);
std::string FormatRmcTime(double secondsOfDay);

// The user-data bytes of one picture: the sentence followed by the recorder's closing byte,
// which the viewer drops again.
std::vector<std::uint8_t> RecorderUserData(const std::string& sentence, char closingByte = '\r');

}  // namespace droskal
