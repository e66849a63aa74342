#include "recording/Walker.h"

#include "decoder/PictureFormat.h"
#include "recording/Recording.h"

namespace droskal {

Walker::Walker()
    : frameBuf_(std::make_unique<FrameBuffer>()),
      frame_(frameBuf_.get()),
      decoder_(std::make_unique<Decoder>()) {}

void Walker::readInto(FrameBuffer* buffer) {
    if (!buffer) {
        if (frame_ != frameBuf_.get()) *frameBuf_ = *frame_;
        buffer = frameBuf_.get();
    }
    frame_ = buffer;
}

bool Walker::open(const std::vector<std::string>& paths, int& error) {
    error = file_.open(paths);
    return error == 0 && checkFormat();
}

bool Walker::openMemory(std::vector<std::uint8_t> bytes) {
    file_.openMemory(std::move(bytes));
    return checkFormat();
}

bool Walker::openMapped(const std::string& path, int& error) {
    error = file_.openMapped(path);
    return error == 0 && checkFormat();
}

bool Walker::checkFormat() {
    const RecordingStart start = CheckRecording(file_);
    firstRead_ = file_.readPosition();  // behind the 7 bytes, or the end of a shorter file
    picFormat_ = start.picFormat;
    decoder_->SetIntraMatrix(start.intraMatrix ? start.intraMatrix->data() : nullptr);
    const PictureFormatInfo* info = FormatInfo(picFormat_);
    picBuf_.assign(info ? static_cast<std::size_t>(info->pixelCount) * 3 : 0, 0);
    rewind();
    return picFormat_ != 0;
}

void Walker::rewind() {
    file_.setReadPosition(firstRead_);
    nmeaText_.clear();
    picturePos_ = 0;
    index_ = 0;
}

bool Walker::next(WalkedPicture& picture, Decode decode) {
    // Every search takes at least one byte before it can fail or succeed, so each call moves
    // the read position forward and the walk ends.
    const std::int64_t from = file_.readPosition();
    if (!FindStartUp(file_, picturePos_, observer_)) return false;
    picture = WalkedPicture{};
    picture.searchFrom = from;
    picture.index = index_++;
    picture.picturePos = picturePos_;
    picture.nmeaText = &nmeaText_;
    picture.sentenceRead = FindPicStart(file_, nmeaText_, observer_);
    picture.slicePos = file_.readPosition();
    picture.read = picture.sentenceRead && ReadFrame(file_, *frame_);
    picture.endPos = file_.readPosition();
    if (picture.read && decode != Decode::None && picFormat_ != 0) {
        picture.decoded = decode == Decode::Bitmap
                              ? decoder_->DecodePicture(*frame_, picFormat_, picBuf_.data())
                              : decoder_->AssemblePicture(*frame_, picFormat_, picBuf_.data());
        picture.picBuf = picBuf_.data();
    }
    return true;
}

const char* FormatName(std::uint8_t picFormat) {
    return picFormat == 1 ? "640x480" : picFormat == 2 ? "320x240" : "unknown";
}

}  // namespace droskal
