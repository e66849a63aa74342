#pragma once

#include <cstdint>
#include <string>

#include "stream/FrameBuffer.h"
#include "stream/StreamFile.h"

namespace droskal {

// What a search reports to the window: the position display and the NMEA labels.
struct StreamObserver {
    virtual void SetPlayCounter(bool reset) = 0;
    virtual void ShowNmea() = 0;

  protected:
    ~StreamObserver() = default;
};

// Limits that bound every search, so a file without start codes ends it quickly.
inline constexpr int kPictureSearchLimit = 299999;  // bytes (forward) or positions (backward)
inline constexpr int kSliceSearchLimit = 8192;

// Forward to the next picture start code 00 00 01 00. On success `picturePos` is the position
// of its last byte, which is also the read position. On failure `picturePos` is unchanged and
// the read position stays where reading stopped.
bool FindStartUp(StreamFile& file, std::int64_t& picturePos, StreamObserver& observer);

// Forward from a picture start code to its first slice start code 00 00 01 01, collecting the
// user data (00 00 01 B2 ...) into `nmeaText`, one char per byte. On success the read position
// is the 01 that ends the slice start code, `nmeaText` has been trimmed and ShowNmea called.
bool FindPicStart(StreamFile& file, std::string& nmeaText, StreamObserver& observer);

// Backward from the current picture to the previous picture start code. On success
// `picturePos` and the read position are the last byte of the start code found.
bool FindStartDown(StreamFile& file, std::int64_t& picturePos, StreamObserver& observer);

// Copies the picture from the byte after the read position up to and including the next
// sequence end code 00 00 01 B7 into `buffer` from index 0. False when the file ends first or
// the buffer fills up. Bytes behind the copied ones keep what was there.
bool ReadFrame(StreamFile& file, FrameBuffer& buffer);

}  // namespace droskal
