// The pack's module on FFmpeg's libraries: H.264 through libavcodec (libx264 where Debian's
// build has it) in MP4 through libavformat, written through the pack's output; and the
// picture conversions through libswscale.

#include "evidence/ClipModule.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

namespace droskal::evidence {

namespace {

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The muxer's byte sink and seeks, handed on to the pack's output.
struct Sink {
    PackOutput* out = nullptr;
    std::int64_t position = 0;
    std::int64_t size = 0;
    std::string error;
};

int WritePacket(void* opaque, std::uint8_t* data, int size) {
    auto* sink = static_cast<Sink*>(opaque);
    if (!sink->error.empty() ||
        !sink->out->write(data, static_cast<std::size_t>(size), sink->error)) {
        return AVERROR(EIO);
    }
    sink->position += size;
    sink->size = std::max(sink->size, sink->position);
    return size;
}

std::int64_t Seek(void* opaque, std::int64_t offset, int whence) {
    auto* sink = static_cast<Sink*>(opaque);
    if (whence & AVSEEK_SIZE) return sink->size;
    std::int64_t target = offset;
    switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            break;
        case SEEK_CUR:
            target = sink->position + offset;
            break;
        case SEEK_END:
            target = sink->size + offset;
            break;
        default:
            return AVERROR(EINVAL);
    }
    if (target < 0 || !sink->error.empty() || !sink->out->seek(target, sink->error))
        return AVERROR(EIO);
    sink->position = target;
    return target;
}

class LibavEncoder final : public ClipEncoder {
  public:
    ~LibavEncoder() override {
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        avcodec_free_context(&codec_);
        if (format_) avformat_free_context(format_);
        if (io_) {
            av_freep(&io_->buffer);
            avio_context_free(&io_);
        }
    }
    bool open(PackOutput& out, int width, int height, PictureRate rate, std::string& encoderName,
              std::string& error) override;
    bool addPicture(const Yuv420& picture, std::string& error) override;
    bool finish(std::string& error) override;

  private:
    bool drain(bool flush, std::string& error);

    Sink sink_;
    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVStream* stream_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::int64_t pts_ = 0;
};

bool LibavEncoder::open(PackOutput& out, int width, int height, PictureRate rate,
                        std::string& encoderName, std::string& error) {
    // The encoder's statistics would fill the terminal; errors still come through.
    av_log_set_level(AV_LOG_ERROR);
    sink_.out = &out;
    const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
    if (!encoder) encoder = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!encoder) {
        error = "this system's libavcodec has no H.264 encoder";
        return false;
    }
    encoderName = encoder->name;

    if (avformat_alloc_output_context2(&format_, nullptr, "mp4", nullptr) < 0 || !format_) {
        error = "libavformat has no MP4 muxer";
        return false;
    }
    constexpr int kIoBuffer = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
    io_ = avio_alloc_context(buffer, kIoBuffer, 1, &sink_, nullptr, &WritePacket, &Seek);
    if (!buffer || !io_) {
        error = "out of memory";
        return false;
    }
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;

    codec_ = avcodec_alloc_context3(encoder);
    codec_->width = width;
    codec_->height = height;
    codec_->pix_fmt = AV_PIX_FMT_YUV420P;
    codec_->time_base = AVRational{rate.den, rate.num};
    codec_->framerate = AVRational{rate.num, rate.den};
    codec_->gop_size = 2 * (rate.num + rate.den - 1) / rate.den;  // a key picture every 2 s
    codec_->color_range = AVCOL_RANGE_MPEG;
    codec_->colorspace = AVCOL_SPC_BT470BG;
    codec_->color_primaries = AVCOL_PRI_BT470BG;
    codec_->color_trc = AVCOL_TRC_GAMMA28;
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (encoderName == "libx264") {
        // Evidence: the picture must stay close to the recording; speed still matters on long
        // stretches.
        av_dict_set(&options, "preset", "veryfast", 0);
        av_dict_set(&options, "crf", "18", 0);
    } else {
        codec_->bit_rate = static_cast<std::int64_t>(width) * height * 4;
    }
    const int opened = avcodec_open2(codec_, encoder, &options);
    av_dict_free(&options);
    if (opened < 0) {
        error = "cannot start the H.264 encoder " + encoderName + ": " + AvError(opened);
        return false;
    }
    stream_ = avformat_new_stream(format_, nullptr);
    if (!stream_ || avcodec_parameters_from_context(stream_->codecpar, codec_) < 0) {
        error = "cannot add the video stream";
        return false;
    }
    stream_->time_base = codec_->time_base;
    stream_->avg_frame_rate = codec_->framerate;
    const int header = avformat_write_header(format_, nullptr);
    if (header < 0) {
        error = sink_.error.empty() ? "cannot start the MP4 file: " + AvError(header) : sink_.error;
        return false;
    }
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = width;
    frame_->height = height;
    if (av_frame_get_buffer(frame_, 0) < 0) {
        error = "out of memory";
        return false;
    }
    return true;
}

bool LibavEncoder::addPicture(const Yuv420& picture, std::string& error) {
    AVFrame* f = frame_;
    if (av_frame_make_writable(f) < 0) {
        error = "out of memory";
        return false;
    }
    const int w = f->width, h = f->height;
    for (int y = 0; y < h; ++y)
        std::memcpy(f->data[0] + y * f->linesize[0], picture.y + y * w,
                    static_cast<std::size_t>(w));
    for (int y = 0; y < h / 2; ++y) {
        std::memcpy(f->data[1] + y * f->linesize[1], picture.cb + y * (w / 2),
                    static_cast<std::size_t>(w / 2));
        std::memcpy(f->data[2] + y * f->linesize[2], picture.cr + y * (w / 2),
                    static_cast<std::size_t>(w / 2));
    }
    f->pts = pts_++;
    const int sent = avcodec_send_frame(codec_, f);
    if (sent < 0) {
        error = "the H.264 encoder refused a picture: " + AvError(sent);
        return false;
    }
    return drain(false, error);
}

bool LibavEncoder::drain(bool flush, std::string& error) {
    if (flush) avcodec_send_frame(codec_, nullptr);
    for (;;) {
        const int got = avcodec_receive_packet(codec_, packet_);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
        if (got < 0) {
            error = "the H.264 encoder failed: " + AvError(got);
            return false;
        }
        av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        const int written = av_interleaved_write_frame(format_, packet_);
        if (written < 0 || !sink_.error.empty()) {
            error =
                sink_.error.empty() ? "cannot write the clip: " + AvError(written) : sink_.error;
            return false;
        }
    }
}

bool LibavEncoder::finish(std::string& error) {
    if (!drain(true, error)) return false;
    const int trailer = av_write_trailer(format_);
    avio_flush(io_);
    if (trailer < 0 || !sink_.error.empty()) {
        error = sink_.error.empty() ? "cannot finish the clip: " + AvError(trailer) : sink_.error;
        return false;
    }
    return true;
}

class SwsRgbBurner final : public RgbBurner {
  public:
    SwsRgbBurner(int pictureWidth, int pictureHeight, int width, int height)
        : pictureWidth_(pictureWidth),
          pictureHeight_(pictureHeight),
          width_(width),
          height_(height) {
        context_ = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height,
                                  AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    }
    ~SwsRgbBurner() override { sws_freeContext(context_); }
    SwsRgbBurner(const SwsRgbBurner&) = delete;
    SwsRgbBurner& operator=(const SwsRgbBurner&) = delete;
    bool ok() const { return context_ != nullptr; }

    void burn(const std::uint8_t* rgb, int left, int top,
              std::vector<std::uint8_t>& yuv) const override {
        const int cw = pictureWidth_ / 2;
        std::uint8_t* y = yuv.data();
        std::uint8_t* cb = y + static_cast<std::size_t>(pictureWidth_) * pictureHeight_;
        std::uint8_t* cr = cb + static_cast<std::size_t>(cw) * (pictureHeight_ / 2);
        const auto at = [](std::uint8_t* plane, int row, int stride, int column) {
            return plane + static_cast<std::size_t>(row) * stride + column;
        };
        std::uint8_t* dst[3] = {at(y, top, pictureWidth_, left), at(cb, top / 2, cw, left / 2),
                                at(cr, top / 2, cw, left / 2)};
        const int dstStride[3] = {pictureWidth_, cw, cw};
        const std::uint8_t* src[1] = {rgb};
        const int srcStride[1] = {width_ * 3};
        sws_scale(context_, src, srcStride, 0, height_, dst, dstStride);
    }

  private:
    int pictureWidth_, pictureHeight_, width_, height_;
    SwsContext* context_ = nullptr;
};

class SwsBgrConverter final : public BgrConverter {
  public:
    SwsBgrConverter(int width, int height) : width_(width), height_(height) {
        context_ = sws_getContext(
            width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_BGR24,
            SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    }
    ~SwsBgrConverter() override { sws_freeContext(context_); }
    SwsBgrConverter(const SwsBgrConverter&) = delete;
    SwsBgrConverter& operator=(const SwsBgrConverter&) = delete;
    bool ok() const { return context_ != nullptr; }

    std::vector<std::uint8_t> toBgrBottomUp(const std::vector<std::uint8_t>& yuv) const override {
        std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width_) * height_ * 3);
        const int cw = width_ / 2;
        const std::uint8_t* src[3] = {yuv.data(),
                                      yuv.data() + static_cast<std::size_t>(width_) * height_,
                                      yuv.data() + static_cast<std::size_t>(width_) * height_ +
                                          static_cast<std::size_t>(cw) * (height_ / 2)};
        const int srcStride[3] = {width_, cw, cw};
        std::uint8_t* dst[1] = {bgr.data() + static_cast<std::size_t>(height_ - 1) * width_ * 3};
        const int dstStride[1] = {-width_ * 3};
        sws_scale(context_, src, srcStride, 0, height_, dst, dstStride);
        return bgr;
    }

  private:
    int width_, height_;
    SwsContext* context_ = nullptr;
};

template <typename T>
T* OrNull(T* made) {
    if (made->ok()) return made;
    delete made;
    return nullptr;
}

const ClipModule kModule{
    []() -> ClipEncoder* { return new LibavEncoder; },
    [](int pictureWidth, int pictureHeight, int width, int height) -> RgbBurner* {
        return OrNull(new SwsRgbBurner(pictureWidth, pictureHeight, width, height));
    },
    [](int width, int height) -> BgrConverter* {
        return OrNull(new SwsBgrConverter(width, height));
    },
};

}  // namespace

}  // namespace droskal::evidence

extern "C" __attribute__((visibility("default"))) const droskal::evidence::ClipModule*
DroskalClipModule() {
    return &droskal::evidence::kModule;
}
