#pragma once

// The fast reader's bits: a 64-bit window on a byte buffer, most significant bit first, that
// is topped up without a branch (internal to decoder/). After fill() at least 56 bits are in
// the window; every bit below them is the stream's own or zero, so a lookup may look further.
// The buffer must hold 16 bytes beyond the last bit taken.

#include <cstdint>
#include <cstring>

namespace droskal {

class BitWindow {
  public:
    BitWindow(const std::uint8_t* buf, std::uint64_t bitOffset)
        : buf_(buf),
          next_(buf + (bitOffset >> 3) + 7),
          held_(56 - static_cast<int>(bitOffset & 7)) {
        bits_ = Load(buf + (bitOffset >> 3)) << (bitOffset & 7);
    }

    // The window's load does not wait for the codes before it: where it reads from was known
    // at the fill before.
    void fill() {
        bits_ |= Load(next_) >> held_;
        next_ += (63 - held_) >> 3;
        held_ |= 56;
    }
    std::uint64_t bits() const { return bits_; }
    void skip(int count) {
        bits_ <<= count;
        held_ -= count;
    }
    // skip() by a coefficient word, whose low six bits are its length.
    void skipWord(std::uint32_t word) {
        bits_ <<= word & 63;
        held_ -= static_cast<int>(word & 63);
    }
    // The offset of the next bit from the start of the buffer.
    std::uint64_t offset() const {
        return static_cast<std::uint64_t>(next_ - buf_) * 8 - static_cast<std::uint64_t>(held_);
    }

  private:
    static std::uint64_t Load(const std::uint8_t* at) {
        std::uint64_t w;
        std::memcpy(&w, at, 8);
        return __builtin_bswap64(w);
    }

    const std::uint8_t* buf_;
    const std::uint8_t* next_;  // the byte after the window's held bits
    int held_;                  // bits held, 0..63
    std::uint64_t bits_;
};

}  // namespace droskal
