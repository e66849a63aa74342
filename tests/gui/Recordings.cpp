#include "Recordings.h"

#include <QFile>

#include <cstdio>

#include "tools/IntraEncoder.h"

namespace droskal {

std::vector<std::uint8_t> TestPictureRgb(int index, int width, int height) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>((x + index * 16) & 0xFF);
            p[1] = static_cast<std::uint8_t>((y * 255) / height);
            p[2] = static_cast<std::uint8_t>(((x / 32 + y / 32 + index) % 2) ? 200 : 40);
        }
    }
    return rgb;
}

TestRecording WriteRecording(const QString& path, const RecordingOptions& options) {
    SequenceHeader header;
    header.width = options.width;
    header.height = options.height;
    RecorderWriter writer(header);
    TestRecording recording;
    recording.path = path;
    for (int i = 0; i < options.count; ++i) {
        const auto rgb = TestPictureRgb(i, options.width, options.height);
        const YuvPicture yuv = RgbToYuvPicture(rgb.data(), options.width, options.height);
        RmcFields fields;
        char time[16];
        std::snprintf(time, sizeof time, "2234%02d.000", (10 + i) % 60);
        fields.time = time;
        fields.speedKnots = std::to_string(10 + i) + ".0";
        const std::string sentence = BuildGprmc(fields);
        RecorderPicture picture;
        picture.temporalReference = i;
        picture.userData.push_back(RecorderUserData(sentence));
        picture.slice = EncodeIntraSlice(yuv, options.quantiserScale);
        picture.endCode = options.lastEndCode || i + 1 < options.count;
        picture.junkAfter.assign(static_cast<std::size_t>(options.junkAfter), 0);
        writer.addPicture(picture);
        recording.sentences.push_back(sentence);
    }
    recording.pictures = writer.pictures();
    recording.bytes = writer.bytes();
    WriteBytes(path, recording.bytes);
    return recording;
}

void WriteBytes(const QString& path, const std::vector<std::uint8_t>& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

}  // namespace droskal
