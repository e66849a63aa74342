#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "decoder/Decoder.h"
#include "stream/FrameBuffer.h"
#include "stream/Searches.h"
#include "stream/StreamFile.h"

namespace droskal {

enum class Decode {
    None,    // searches only
    Planes,  // AssemblePicture: Y, Cb, Cr, no colour conversion
    Bitmap,  // DecodePicture: 24-bit bottom-up BGR, as the window draws it
};

// One picture as a forward step of the window meets it.
struct WalkedPicture {
    std::int64_t index = -1;      // 0-based, every picture start code counts
    std::int64_t searchFrom = 0;  // read position before the forward search found it
    std::int64_t picturePos = 0;  // last byte of its picture start code
    std::int64_t slicePos = 0;    // read position after the slice search (its 01 when found)
    std::int64_t endPos = 0;      // read position after the picture (its B7 when read)
    bool sentenceRead = false;    // FindPicStart reached the slice, so nmeaText is this picture's
    bool read = false;            // all three searches succeeded
    bool decoded = false;         // the asked-for decoding succeeded (false for Decode::None)
    const std::string* nmeaText = nullptr;
    const std::uint8_t* picBuf = nullptr;  // valid until the next call
};

// The forward walk every batch user of recordings shares (the command line, the fuzz target,
// the damaged-file tests).
// Walks a recording in file order with the window's searches: FindStartUp, FindPicStart,
// ReadFrame, then decoding, starting where the window starts after opening (behind the 7
// bytes of the size check). The walk ends at the first FindStartUp failure.
class Walker {
  public:
    Walker();

    // Opens the files (one recording, or a trip's files laid end to end) and checks the
    // format. False with `error` the errno when the first file cannot be opened, false with
    // `error` 0 when it is no recording the viewer can show (it can still be walked then,
    // without decoding).
    bool open(const std::vector<std::string>& paths, int& error);
    bool openMemory(std::vector<std::uint8_t> bytes);
    // One file mapped into memory (StreamFile::openMapped), errors as open() gives them.
    bool openMapped(const std::string& path, int& error);
    // Back to the state right after opening (repeated passes over the same recording).
    void rewind();

    bool next(WalkedPicture& picture, Decode decode);

    StreamFile& file() { return file_; }
    std::uint8_t picFormat() const { return picFormat_; }
    // The frame buffer as the last next() left it, and the sequence header's intra matrix
    // (nullptr for the default): what a decoder of its own needs to decode that picture.
    const FrameBuffer& frame() const { return *frame_; }
    // Pictures are read into `buffer` from the next call on, frame() is that buffer, and
    // keeping its bytes beyond each picture what the walker's own buffer would hold is the
    // caller's part. nullptr goes back to the walker's own buffer, which first takes the bytes
    // of the one in use.
    void readInto(FrameBuffer* buffer);
    const std::uint8_t* intraMatrix() const { return matrix_ ? matrix_->data() : nullptr; }
    std::int64_t length() const { return file_.length(); }
    // True when the last walk stopped before the end of the file (a stretch of more than
    // 299,999 bytes without a picture start code).
    bool stoppedEarly() const { return file_.readPosition() < file_.length(); }

  private:
    struct SilentObserver final : StreamObserver {
        void SetPlayCounter(bool) override {}
        void ShowNmea() override {}
    };

    bool checkFormat();

    StreamFile file_;
    SilentObserver observer_;
    std::unique_ptr<FrameBuffer> frameBuf_;
    FrameBuffer* frame_;  // the one read into
    std::unique_ptr<Decoder> decoder_;
    std::optional<std::array<std::uint8_t, 64>> matrix_;
    std::vector<std::uint8_t> picBuf_;
    std::string nmeaText_;
    std::int64_t firstRead_ = 0;  // read position after the format check
    std::int64_t picturePos_ = 0;
    std::int64_t index_ = 0;
    std::uint8_t picFormat_ = 0;
};

const char* FormatName(std::uint8_t picFormat);

}  // namespace droskal
