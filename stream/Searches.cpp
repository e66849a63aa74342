#include "stream/Searches.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace droskal {

namespace {

// The last four bytes taken, oldest in the top byte; starts as four zero bytes, so the first
// bytes of a forward search can complete a start code with them.
constexpr std::uint32_t kPictureStartCode = 0x00000100;
constexpr std::uint32_t kSequenceEndCode = 0x000001B7;
constexpr std::uint32_t kStartCodePrefix = 0x000001;
constexpr std::uint8_t kSliceOne = 0x01;
constexpr std::uint8_t kUserData = 0xB2;

// The first j with d[j] == a and d[j + 1] == b, j + 1 < n; -1 where there is none. Sixteen
// places a step: a recording's pictures are mostly coded data in which 01 comes once in 256
// bytes, so a byte search stops too often.
std::int64_t FindPair(const std::uint8_t* d, std::int64_t n, std::uint8_t a, std::uint8_t b) {
    std::int64_t j = 0;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    for (; j + 17 <= n; j += 16) {
        const __m128i at = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + j));
        const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + j + 1));
        const int hits =
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(at, va), _mm_cmpeq_epi8(after, vb)));
        if (hits != 0) return j + __builtin_ctz(static_cast<unsigned>(hits));
    }
#endif
    for (; j + 1 < n; ++j)
        if (d[j] == a && d[j + 1] == b) return j;
    return -1;
}

// Forward through the cached blocks as the byte-by-byte loops would take bytes: a window of
// four zero bytes to start with, at most `limit` bytes. Stops at the first byte that
// completes 00 00 01 `value` as the `minCount`-th byte taken or later and returns how many
// bytes were taken then; 0 when the limit or the end of the file came first. Every code
// has its 01 right before the byte that completes it, so only the places where 01 `value`
// stands are looked at. The read position ends on the last byte taken; `copyTo`, if given,
// receives every byte taken and nothing more.
std::int64_t ScanForward(StreamFile& file, std::uint8_t value, std::int64_t limit,
                         std::int64_t minCount, std::uint8_t* copyTo) {
    const std::int64_t start = file.readPosition();
    std::uint32_t window = 0;  // the last four bytes taken before this block, oldest on top
    std::int64_t taken = 0;
    while (taken < limit) {
        const std::uint8_t* d = nullptr;
        const std::int64_t avail = file.cachedFrom(start + taken, d);
        if (avail <= 0) break;
        const std::int64_t n = std::min(avail, limit - taken);
        const auto byteAt = [&](std::int64_t i) -> std::uint32_t {
            return i >= 0 ? d[i] : (window >> (8 * (-1 - i))) & 0xFF;
        };
        const auto completes = [&](std::int64_t c) {
            return d[c] == value && byteAt(c - 2) == 0 && byteAt(c - 3) == 0 &&
                   taken + c + 1 >= minCount;
        };
        std::int64_t found = -1;
        if ((window & 0xFF) == 0x01 && completes(0)) found = 0;
        for (std::int64_t j = 0; found < 0 && j + 1 < n;) {
            const std::int64_t hit = FindPair(d + j, n - j, 0x01, value);
            if (hit < 0) break;
            j += hit;
            if (completes(j + 1)) found = j + 1;
            ++j;
        }
        const std::int64_t use = found >= 0 ? found + 1 : n;
        if (copyTo) std::memcpy(copyTo + taken, d, static_cast<std::size_t>(use));
        for (std::int64_t k = std::max<std::int64_t>(0, use - 4); k < use; ++k)
            window = (window << 8) | d[k];
        taken += use;
        if (found >= 0) {
            file.setReadPosition(start + taken);
            return taken;
        }
    }
    file.setReadPosition(start + taken);
    return 0;
}

}  // namespace

bool FindStartUp(StreamFile& file, std::int64_t& picturePos, StreamObserver& observer) {
    if (ScanForward(file, kPictureStartCode & 0xFF, kPictureSearchLimit, 1, nullptr) == 0)
        return false;
    picturePos = file.readPosition();
    observer.SetPlayCounter(false);
    return true;
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

namespace {

// FindStartDown's byte-by-byte loop from position p, which is the count-th position looked at.
bool StepDown(StreamFile& file, std::int64_t& picturePos, StreamObserver& observer, std::int64_t p,
              int count, std::uint32_t window) {
    for (;; ++count) {
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

}  // namespace

bool FindStartDown(StreamFile& file, std::int64_t& picturePos, StreamObserver& observer) {
    // Positions top, top - 1, ... down to lo are looked at; bytes above top count as 00, so
    // the current start code is never found again. A match at p has its 01 at q = p + 2, so
    // memrchr for 01 over the cached block finds every candidate, highest first, and the
    // first that matches is the byte loop's answer.
    const std::int64_t top = picturePos - 5;
    if (top <= 0) return false;
    const std::int64_t lo = std::max<std::int64_t>(1, top - (kPictureSearchLimit - 1));
    const std::uint8_t* d = nullptr;
    if (file.cachedUpTo(top - 1, d) <= 0) {
        // The file ends below top (it shrank): the byte loop fails at its first read.
        return StepDown(file, picturePos, observer, top, 1, 0);
    }
    const auto found = [&](std::int64_t q) {
        std::uint8_t b;
        if (!file.readAt(q + 1, b)) return false;
        picturePos = file.readPosition();
        observer.SetPlayCounter(false);
        return true;
    };
    std::int64_t qHi = top;
    const std::int64_t qLo = lo + 2;
    while (qHi >= qLo) {
        const std::int64_t end = std::min(qHi + 1, top);  // highest position needed
        const std::int64_t back = file.cachedUpTo(end - 1, d);
        if (back <= 0) {
            // A read error below: the byte loop goes on from here and meets it.
            std::uint32_t window = 0;
            for (std::int64_t pos = std::min(qHi + 1, top); pos >= qHi - 1; --pos) {
                std::uint8_t b = 0;
                if (pos <= top) file.peek(pos, 1, &b);
                window = (window >> 8) | (static_cast<std::uint32_t>(b) << 24);
            }
            if (qHi + 1 > top) window >>= 8;
            return StepDown(file, picturePos, observer, qHi - 2, static_cast<int>(top - qHi + 3),
                            window);
        }
        const std::uint8_t* const atEnd = d;  // the byte at position `end`
        const auto byteAt = [&](std::int64_t pos) { return atEnd[pos - end]; };
        const std::int64_t cLo = std::max(qLo, end - back + 1 + 2);
        if (cLo > qHi) {
            // A block seam: q - 2 lies in the block below; take the four bytes one by one.
            std::uint8_t four[4] = {};
            file.peek(qHi - 2, qHi + 1 > top ? 3 : 4, four);
            if (four[0] == 0 && four[1] == 0 && four[2] == 0x01 && four[3] == 0) return found(qHi);
            --qHi;
            continue;
        }
        std::int64_t q = qHi;
        while (q >= cLo) {
            const void* hit =
                memrchr(atEnd - (end - cLo), 0x01, static_cast<std::size_t>(q - cLo + 1));
            if (!hit) break;
            q = end - (atEnd - static_cast<const std::uint8_t*>(hit));
            const std::uint8_t next = q + 1 > top ? 0 : byteAt(q + 1);
            if (byteAt(q - 2) == 0 && byteAt(q - 1) == 0 && next == 0) return found(q);
            --q;
        }
        qHi = cLo - 1;
    }
    // The last position the loop would have read.
    file.setReadPosition(lo);
    return false;
}

bool ReadFrame(StreamFile& file, FrameBuffer& buffer) {
    // The window starts with the first four bytes themselves, so the end code can complete
    // no earlier than at the fifth byte; the buffer's size is the limit.
    return ScanForward(file, kSequenceEndCode & 0xFF, kFrameBufSize, 5, buffer.data()) != 0;
}

}  // namespace droskal
