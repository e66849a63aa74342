#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "stream/StreamFile.h"

namespace droskal {

// A fragment file is the recording's first 20 bytes (its sequence and group header)
// followed by the stretch from 11 bytes before the start mark (the group header in front
// of the start picture's start code) up to and including the end mark.
struct FragmentPlan {
    std::int64_t headerBytes = 0;  // from position 1
    std::int64_t from = 0;         // first position of the stretch
    std::int64_t count = 0;        // bytes of the stretch
};

// cutStart: last byte of the start picture's picture start code; cutEnd: last byte read
// after the end picture. The stretch never begins before the recording's first byte.
FragmentPlan PlanFragment(std::int64_t cutStart, std::int64_t cutEnd, std::int64_t fileLength);

// Hands the fragment's bytes to `sink` in chunks, in order. False when the recording
// cannot be read (error says why) or the sink refuses (the sink sets error).
// The read position is left on cutEnd, as a positioned read of the stretch leaves it.
bool CopyFragment(StreamFile& file, std::int64_t cutStart, std::int64_t cutEnd,
                  const std::function<bool(const std::uint8_t*, std::size_t, std::string&)>& sink,
                  std::string& error);

}  // namespace droskal
