#include "tools/RecorderWriter.h"

#include <cmath>
#include <cstdio>
#include <fstream>

namespace droskal {

namespace {

// MSB-first bit packing for the header fields.
class BitPacker {
  public:
    explicit BitPacker(std::vector<std::uint8_t>& out) : out_(out) {}
    ~BitPacker() { flush(); }
    void put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            acc_ = static_cast<std::uint8_t>((acc_ << 1) | ((value >> i) & 1u));
            if (++count_ == 8) {
                out_.push_back(acc_);
                acc_ = 0;
                count_ = 0;
            }
        }
    }
    // Pads with zero bits up to the next byte.
    void flush() {
        if (count_ > 0) put(0, 8 - count_);
    }

  private:
    std::vector<std::uint8_t>& out_;
    std::uint8_t acc_ = 0;
    int count_ = 0;
};

}  // namespace

void RecorderWriter::appendStartCode(std::uint8_t value) {
    bytes_.insert(bytes_.end(), {0x00, 0x00, 0x01, value});
}

void RecorderWriter::appendSequenceHeader() {
    appendStartCode(0xB3);
    BitPacker bits(bytes_);
    bits.put(static_cast<std::uint32_t>(header_.width), 12);
    bits.put(static_cast<std::uint32_t>(header_.height), 12);
    bits.put(static_cast<std::uint32_t>(header_.aspectRatio), 4);
    bits.put(static_cast<std::uint32_t>(header_.pictureRate), 4);
    bits.put(static_cast<std::uint32_t>(header_.bitRate), 18);
    bits.put(1, 1);  // marker
    bits.put(static_cast<std::uint32_t>(header_.vbvBufferSize), 10);
    bits.put(0, 1);  // constrained_parameters_flag
    bits.put(header_.intraMatrix ? 1 : 0, 1);
    if (header_.intraMatrix) {
        for (std::uint8_t q : *header_.intraMatrix) bits.put(q, 8);
    }
    bits.put(0, 1);  // no non-intra matrix
}

void RecorderWriter::appendGopHeader(int pictureIndex) {
    appendStartCode(0xB8);
    // Time code from the picture index at 25 pictures per second.
    const int seconds = pictureIndex / 25;
    BitPacker bits(bytes_);
    bits.put(0, 1);  // drop_frame_flag
    bits.put(static_cast<std::uint32_t>((seconds / 3600) % 24), 5);
    bits.put(static_cast<std::uint32_t>((seconds / 60) % 60), 6);
    bits.put(1, 1);  // marker
    bits.put(static_cast<std::uint32_t>(seconds % 60), 6);
    bits.put(static_cast<std::uint32_t>(pictureIndex % 25), 6);
    bits.put(1, 1);  // closed_gop: every picture is intra
    bits.put(0, 1);  // broken_link
}

const PicturePositions& RecorderWriter::addPicture(const RecorderPicture& picture) {
    PicturePositions pos;
    pos.headersStart = lastPosition() + 1;
    if (picture.sequenceHeader) appendSequenceHeader();
    if (picture.gopHeader) appendGopHeader(static_cast<int>(pictures_.size()));

    appendStartCode(0x00);
    pos.picturePos = lastPosition();
    {
        BitPacker bits(bytes_);
        bits.put(static_cast<std::uint32_t>(picture.temporalReference) & 0x3FF, 10);
        bits.put(1, 3);  // I picture
        bits.put(static_cast<std::uint32_t>(picture.vbvDelay) & 0xFFFF, 16);
        bits.put(0, 1);  // extra_bit_picture
    }

    for (const auto& block : picture.userData) {
        appendStartCode(0xB2);
        pos.userDataPos = lastPosition() + 1;
        bytes_.insert(bytes_.end(), block.begin(), block.end());
    }

    appendStartCode(0x01);
    pos.slicePos = lastPosition();
    bytes_.insert(bytes_.end(), picture.slice.begin(), picture.slice.end());

    if (picture.endCode) {
        appendStartCode(0xB7);
        pos.endCodePos = lastPosition();
    }
    bytes_.insert(bytes_.end(), picture.junkAfter.begin(), picture.junkAfter.end());
    pictures_.push_back(pos);
    return pictures_.back();
}

void RecorderWriter::appendRaw(const std::vector<std::uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

bool RecorderWriter::writeFile(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes_.data()),
              static_cast<std::streamsize>(bytes_.size()));
    return static_cast<bool>(out);
}

std::string BuildGprmc(const RmcFields& f) {
    std::string s = "$GPRMC," + f.time + "," + f.status + "," + f.lat + "," + f.latHemisphere +
                    "," + f.lon + "," + f.lonHemisphere + "," + f.speedKnots + "," + f.course +
                    "," + f.date + ",,";
    if (f.checksum) {
        unsigned sum = 0;
        for (std::size_t i = 1; i < s.size(); ++i) sum ^= static_cast<unsigned char>(s[i]);
        char hex[4];
        std::snprintf(hex, sizeof hex, "*%02X", sum & 0xFFu);
        s += hex;
    }
    return s;
}

namespace {

std::string FormatDegreesMinutes(double degrees, int degreeDigits) {
    degrees = std::fabs(degrees);
    // Work in ten-thousandths of a minute so rounding never yields 60.0000 minutes.
    const long long units = std::llround(degrees * 60.0 * 10000.0);
    const long long whole = units / (60LL * 10000);
    const long long minuteUnits = units % (60LL * 10000);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld%02lld.%04lld", degreeDigits, whole, minuteUnits / 10000,
                  minuteUnits % 10000);
    return buf;
}

}  // namespace

std::string FormatLatitude(double degrees) {
    return FormatDegreesMinutes(degrees, 2);
}
std::string FormatLongitude(double degrees) {
    return FormatDegreesMinutes(degrees, 3);
}

std::string FormatRmcTime(double secondsOfDay) {
    const long long ms = std::llround(secondsOfDay * 1000.0) % (24LL * 3600 * 1000);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld%02lld%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return buf;
}

std::vector<std::uint8_t> RecorderUserData(const std::string& sentence, char closingByte) {
    std::vector<std::uint8_t> bytes(sentence.begin(), sentence.end());
    bytes.push_back(static_cast<std::uint8_t>(closingByte));
    return bytes;
}

}  // namespace droskal
