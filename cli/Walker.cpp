#include "cli/Walker.h"

#include "decoder/PictureFormat.h"
#include "decoder/SequenceHeader.h"

namespace droskal::cli {

namespace {
// The size check reads this many bytes; the window's first step starts behind them.
constexpr std::int64_t kFormatBytes = 7;
}  // namespace

Walker::Walker() : frameBuf_(std::make_unique<FrameBuffer>()), decoder_(std::make_unique<Decoder>()) {}

bool Walker::open(const std::string& path, std::string& error) {
    std::string openError;
    switch (file_.open(path, openError)) {
        case OpenStatus::Ok:
            return checkFormat(error);
        case OpenStatus::NotFound:
            error = path + ": file not found (or not a regular file)";
            return false;
        case OpenStatus::Error:
            error = path + ": " + openError;
            return false;
    }
    return false;
}

bool Walker::openMemory(std::vector<std::uint8_t> bytes, std::string& error) {
    file_.openMemory(std::move(bytes));
    return checkFormat(error);
}

bool Walker::checkFormat(std::string& error) {
    std::uint8_t header[kFormatBytes] = {};
    for (std::uint8_t& b : header) {
        if (!file_.readNext(b)) break;
    }
    picFormat_ = PictureFormatFromHeader(header);
    if (picFormat_ == 0) {
        error = "not a recording: no 640x480 or 320x240 sequence header at its start";
        return false;
    }
    std::uint8_t sequenceHeader[12 + 64 + 64] = {};
    const auto got = file_.peek(1, sizeof sequenceHeader, sequenceHeader);
    matrix_ = IntraMatrixFromSequenceHeader(sequenceHeader, static_cast<std::size_t>(got > 0 ? got : 0));
    decoder_->SetIntraMatrix(intraMatrix());
    picBuf_.assign(static_cast<std::size_t>(FormatInfo(picFormat_)->pixelCount) * 3, 0);
    rewind();
    return true;
}

void Walker::rewind() {
    file_.setReadPosition(kFormatBytes);
    nmeaText_.clear();
    picturePos_ = 0;
    index_ = 0;
}

bool Walker::next(WalkedPicture& picture, Decode decode) {
    // Every search takes at least one byte before it can fail or succeed, so each call moves
    // the read position forward and the walk ends.
    if (!FindStartUp(file_, picturePos_, observer_)) return false;
    picture = WalkedPicture{};
    picture.index = index_++;
    picture.picturePos = picturePos_;
    picture.nmeaText = &nmeaText_;
    picture.sentenceRead = FindPicStart(file_, nmeaText_, observer_);
    picture.read = picture.sentenceRead && ReadFrame(file_, *frameBuf_);
    picture.endPos = file_.readPosition();
    if (picture.read && decode != Decode::None) {
        picture.decoded = decode == Decode::Bitmap
                              ? decoder_->DecodePicture(*frameBuf_, picFormat_, picBuf_.data())
                              : decoder_->AssemblePicture(*frameBuf_, picFormat_, picBuf_.data());
        picture.picBuf = picBuf_.data();
    }
    return true;
}

const char* FormatName(std::uint8_t picFormat) {
    return picFormat == 1 ? "640x480" : picFormat == 2 ? "320x240" : "unknown";
}

}  // namespace droskal::cli
