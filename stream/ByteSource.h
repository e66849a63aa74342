#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace droskal {

// Why reading stopped before the end of the stream.
struct ReadFailure {
    int error = 0;              // errno of the failed open or read; 0: the file shrank
    std::string path;           // the file that failed (empty for sources without files)
    std::int64_t position = 0;  // 1-based stream position of the first byte not read
};

// Where StreamFile's cache gets its bytes: one file, the files of a trip laid end to end, or
// whatever a test needs (a disk that fails at a chosen place).
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Length when opened.
    virtual std::int64_t length() const = 0;
    // Copies up to n bytes from 0-based `offset` and returns the count: fewer than n only at the
    // end of the stream or where reading failed, which `failure` then describes.
    virtual std::int64_t read(std::int64_t offset, std::uint8_t* dst, std::int64_t n,
                              std::optional<ReadFailure>& failure) = 0;
};

}  // namespace droskal
