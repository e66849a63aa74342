#include "stream/Searches.h"

namespace droskal {

namespace {

// The last four bytes taken, oldest in the top byte; starts as four zero bytes, so the first
// bytes of a forward search can complete a start code with them.
constexpr std::uint32_t kPictureStartCode = 0x00000100;
constexpr std::uint32_t kSequenceEndCode = 0x000001B7;
constexpr std::uint32_t kStartCodePrefix = 0x000001;
constexpr std::uint8_t kSliceOne = 0x01;
constexpr std::uint8_t kUserData = 0xB2;

}  // namespace

bool FindStartUp(StreamFile& file, std::int64_t& picturePos, StreamObserver& observer) {
    std::uint32_t window = 0;
    for (int count = 1;; ++count) {
        std::uint8_t b;
        if (!file.readNext(b)) return false;
        window = (window << 8) | b;
        if (window == kPictureStartCode) {
            picturePos = file.readPosition();
            observer.SetPlayCounter(false);
            return true;
        }
        if (count >= kPictureSearchLimit) return false;
    }
}

bool FindPicStart(StreamFile& file, std::string& nmeaText, StreamObserver& observer) {
    std::uint32_t window = 0;
    bool collecting = false;
    for (int count = 1;; ++count) {
        std::uint8_t b;
        if (!file.readNext(b)) return false;
        const bool codeValue = (window & 0xFFFFFF) == kStartCodePrefix;
        window = (window << 8) | b;
        if (codeValue) {
            // Any start code ends the user data; a second B2 starts it afresh.
            collecting = false;
            if (b == kSliceOne) break;
            if (b == kUserData) {
                nmeaText.clear();
                collecting = true;
            }
        }
        if (collecting) nmeaText.push_back(static_cast<char>(b));
        if (count >= kSliceSearchLimit) return false;
    }

    observer.SetPlayCounter(false);
    // What was collected is B2, the user data and the 00 00 01 of the slice code; the last
    // user-data byte (the recorder's closing byte) goes too.
    if (nmeaText.size() > 5) nmeaText = nmeaText.substr(1, nmeaText.size() - 5);
    observer.ShowNmea();
    return true;
}

bool FindStartDown(StreamFile& file, std::int64_t& picturePos, StreamObserver& observer) {
    std::int64_t p = picturePos - 5;
    if (p <= 0) return false;
    // Filled from the other end: the top byte is the byte at p. Positions above
    // picturePos - 5 are never read and count as 00, so the current start code is never
    // found again.
    std::uint32_t window = 0;
    for (int count = 1;; ++count) {
        std::uint8_t b;
        if (!file.readAt(p, b)) return false;
        window = (window >> 8) | (static_cast<std::uint32_t>(b) << 24);
        if (window == kPictureStartCode) {
            std::uint8_t last;
            if (!file.readAt(p + 3, last)) return false;
            picturePos = file.readPosition();
            observer.SetPlayCounter(false);
            return true;
        }
        if (count >= kPictureSearchLimit) return false;
        --p;
        if (p < 1) return false;
    }
}

bool ReadFrame(StreamFile& file, FrameBuffer& buffer) {
    for (int i = 0; i < 4; ++i) {
        if (!file.readNext(buffer[i])) return false;
    }
    std::uint32_t window = (std::uint32_t{buffer[0]} << 24) | (std::uint32_t{buffer[1]} << 16) |
                           (std::uint32_t{buffer[2]} << 8) | buffer[3];
    for (int i = 4;; ++i) {
        if (!file.readNext(buffer[i])) return false;
        window = (window << 8) | buffer[i];
        if (window == kSequenceEndCode) return true;
        if (i + 1 == kFrameBufSize) return false;
    }
}

}  // namespace droskal
