#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "stream/StreamFile.h"

namespace droskal {

// What the start of a recording says: whether it begins with a sequence header, the picture
// format it selects and the intra matrix it loads.
struct RecordingStart {
    bool sequenceHeader = false;  // the first four bytes are 00 00 01 B3
    std::uint8_t picFormat = 0;   // 1 = 640x480, 2 = 320x240, 0 none usable
    std::optional<std::array<std::uint8_t, 64>> intraMatrix;  // natural order; nullopt: default
};

// The format check every way of opening a recording makes: the first 7 bytes taken
// sequentially (zeros where the file is shorter), so the read position is left behind them
// and the first forward step starts there; the intra matrix from a peek at the same header.
RecordingStart CheckRecording(StreamFile& file);

// Bytes the format check reads.
inline constexpr std::int64_t kFormatCheckBytes = 7;

}  // namespace droskal
