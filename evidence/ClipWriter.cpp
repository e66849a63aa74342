#include "evidence/ClipWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <cstring>

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

}  // namespace

PictureRate PictureRateFromCode(int code) {
    static const PictureRate kRates[] = {{0, 0},  {24000, 1001}, {24, 1},
                                         {25, 1}, {30000, 1001}, {30, 1},
                                         {50, 1}, {60000, 1001}, {60, 1}};
    if (code < 1 || code > 8) return {0, 0};
    return kRates[code];
}

struct ClipWriter::State {
    Sink sink;
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    std::int64_t pts = 0;
    bool headerWritten = false;

    ~State() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (format) avformat_free_context(format);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

ClipWriter::ClipWriter() = default;
ClipWriter::~ClipWriter() = default;

bool ClipWriter::open(PackOutput& out, int width, int height, PictureRate rate,
                      std::string& error) {
    // The encoder's statistics would fill the terminal; errors still come through.
    av_log_set_level(AV_LOG_ERROR);
    s_ = std::make_unique<State>();
    s_->sink.out = &out;
    const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
    if (!encoder) encoder = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!encoder) {
        error = "this system's libavcodec has no H.264 encoder";
        return false;
    }
    encoderName_ = encoder->name;

    if (avformat_alloc_output_context2(&s_->format, nullptr, "mp4", nullptr) < 0 || !s_->format) {
        error = "libavformat has no MP4 muxer";
        return false;
    }
    constexpr int kIoBuffer = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
    s_->io = avio_alloc_context(buffer, kIoBuffer, 1, &s_->sink, nullptr, &WritePacket, &Seek);
    if (!buffer || !s_->io) {
        error = "out of memory";
        return false;
    }
    s_->format->pb = s_->io;
    s_->format->flags |= AVFMT_FLAG_CUSTOM_IO;

    s_->codec = avcodec_alloc_context3(encoder);
    s_->codec->width = width;
    s_->codec->height = height;
    s_->codec->pix_fmt = AV_PIX_FMT_YUV420P;
    s_->codec->time_base = AVRational{rate.den, rate.num};
    s_->codec->framerate = AVRational{rate.num, rate.den};
    s_->codec->gop_size = 2 * (rate.num + rate.den - 1) / rate.den;  // a key picture every 2 s
    s_->codec->color_range = AVCOL_RANGE_MPEG;
    s_->codec->colorspace = AVCOL_SPC_BT470BG;
    s_->codec->color_primaries = AVCOL_PRI_BT470BG;
    s_->codec->color_trc = AVCOL_TRC_GAMMA28;
    if (s_->format->oformat->flags & AVFMT_GLOBALHEADER)
        s_->codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (encoderName_ == "libx264") {
        // Evidence: the picture must stay close to the recording; speed still matters on long
        // stretches.
        av_dict_set(&options, "preset", "veryfast", 0);
        av_dict_set(&options, "crf", "18", 0);
    } else {
        s_->codec->bit_rate = static_cast<std::int64_t>(width) * height * 4;
    }
    const int opened = avcodec_open2(s_->codec, encoder, &options);
    av_dict_free(&options);
    if (opened < 0) {
        error = "cannot start the H.264 encoder " + encoderName_ + ": " + AvError(opened);
        return false;
    }
    s_->stream = avformat_new_stream(s_->format, nullptr);
    if (!s_->stream || avcodec_parameters_from_context(s_->stream->codecpar, s_->codec) < 0) {
        error = "cannot add the video stream";
        return false;
    }
    s_->stream->time_base = s_->codec->time_base;
    s_->stream->avg_frame_rate = s_->codec->framerate;
    const int header = avformat_write_header(s_->format, nullptr);
    if (header < 0) {
        error = s_->sink.error.empty() ? "cannot start the MP4 file: " + AvError(header)
                                       : s_->sink.error;
        return false;
    }
    s_->headerWritten = true;
    s_->frame = av_frame_alloc();
    s_->packet = av_packet_alloc();
    s_->frame->format = AV_PIX_FMT_YUV420P;
    s_->frame->width = width;
    s_->frame->height = height;
    if (av_frame_get_buffer(s_->frame, 0) < 0) {
        error = "out of memory";
        return false;
    }
    return true;
}

bool ClipWriter::addPicture(const Yuv420& picture, std::string& error) {
    AVFrame* f = s_->frame;
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
    f->pts = s_->pts++;
    const int sent = avcodec_send_frame(s_->codec, f);
    if (sent < 0) {
        error = "the H.264 encoder refused a picture: " + AvError(sent);
        return false;
    }
    return drain(false, error);
}

bool ClipWriter::drain(bool flush, std::string& error) {
    if (flush) avcodec_send_frame(s_->codec, nullptr);
    for (;;) {
        const int got = avcodec_receive_packet(s_->codec, s_->packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
        if (got < 0) {
            error = "the H.264 encoder failed: " + AvError(got);
            return false;
        }
        av_packet_rescale_ts(s_->packet, s_->codec->time_base, s_->stream->time_base);
        s_->packet->stream_index = s_->stream->index;
        const int written = av_interleaved_write_frame(s_->format, s_->packet);
        if (written < 0 || !s_->sink.error.empty()) {
            error = s_->sink.error.empty() ? "cannot write the clip: " + AvError(written)
                                           : s_->sink.error;
            return false;
        }
    }
}

bool ClipWriter::finish(std::string& error) {
    if (!drain(true, error)) return false;
    const int trailer = av_write_trailer(s_->format);
    avio_flush(s_->io);
    if (trailer < 0 || !s_->sink.error.empty()) {
        error =
            s_->sink.error.empty() ? "cannot finish the clip: " + AvError(trailer) : s_->sink.error;
        return false;
    }
    return true;
}

}  // namespace droskal::evidence
