#include "Recordings.h"

#include <QApplication>
#include <QTest>

#include <QFile>

#include <cstdio>

#include "tools/IntraEncoder.h"

namespace droskal {

namespace {
// Packed RGB of picture `index`, rows top-down.
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
}  // namespace

TestRecording WriteRecording(const QString& path, const RecordingOptions& options) {
    return WriteRecording(path, options, {});
}

TestRecording WriteRecording(const QString& path, const RecordingOptions& options,
                             const std::vector<std::string>& sentences) {
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
        const int second = (22 * 3600 + 34 * 60 + 10 + i * options.secondsPerPicture) % 86400;
        std::snprintf(time, sizeof time, "%02d%02d%02d.000", second / 3600, second / 60 % 60,
                      second % 60);
        fields.time = time;
        fields.status = options.validFix ? "A" : "V";
        fields.speedKnots = std::to_string(10 + i) + ".0";
        const std::string sentence = BuildGprmc(fields);
        RecorderPicture picture;
        picture.temporalReference = i;
        const auto index = static_cast<std::size_t>(i);
        if (sentences.empty()) {
            picture.userData.push_back(RecorderUserData(sentence));
        } else if (index < sentences.size() && !sentences[index].empty()) {
            picture.userData.push_back(RecorderUserData(sentences[index]));
        }
        picture.slice = EncodeIntraSlice(yuv, options.quantiserScale);
        picture.endCode = options.lastEndCode || i + 1 < options.count;
        picture.junkAfter.assign(static_cast<std::size_t>(options.junkAfter), 0);
        writer.addPicture(picture);
    }
    recording.pictures = writer.pictures();
    recording.bytes = writer.bytes();
    WriteBytes(path, recording.bytes);
    return recording;
}

void WriteBytes(const QString& path, const std::vector<std::uint8_t>& bytes) {
    WriteBytes(path, QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                static_cast<qsizetype>(bytes.size())));
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList NavigationKeys(const Form1& f) {
    QStringList keys;
    for (const PictureButton* b : {f.cmdDownE, f.cmdDownFFF, f.cmdDownFF, f.cmdDownF, f.cmdDown,
                                   f.cmdStop, f.cmdUp, f.cmdUpF, f.cmdUpFF, f.cmdUpFFF, f.cmdUpE}) {
        keys << b->pictureKey();
    }
    return keys;
}

const QStringList kAllUnavailable = {"DownEU", "DownFFFU", "DownFFU", "DownFU", "DownU", "StopU",
                                     "UpU",    "UpFU",     "UpFFU",   "UpFFFU", "UpEU"};
const QStringList kForwardOnly = {"DownEU", "DownFFFU", "DownFFU", "DownFU", "DownU", "StopU",
                                  "Up",     "UpF",      "UpFF",    "UpFFF",  "UpE"};
const QStringList kForwardEnd = {"DownE", "DownFFF", "DownFF", "DownF",  "Down", "StopU",
                                 "UpU",   "UpFU",    "UpFFU",  "UpFFFU", "UpEU"};
const QStringList kBackwardEnd = kForwardOnly;
const QStringList kStopped = {"DownE", "DownFFF", "DownFF", "DownF", "Down", "StopU",
                              "Up",    "UpF",     "UpFF",   "UpFFF", "UpE"};

void PressKey(QWidget* window, int key, Qt::KeyboardModifiers modifiers) {
    // The window's shortcuts answer only while it is the active window.
    if (!window->isActiveWindow()) {
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    }
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr && focus->window() == window ? focus : window,
                    static_cast<Qt::Key>(key), modifiers);
}

}  // namespace droskal
