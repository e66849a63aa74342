#pragma once

#include <QString>

#include <string>
#include <vector>

#include "tools/RecorderWriter.h"

namespace droskal {

// A recording written by the recorder-stream writer into a test's folder, with real
// intra-coded pictures and one sentence per picture.
struct TestRecording {
    QString path;
    std::vector<PicturePositions> pictures;
    std::vector<std::string> sentences;
    std::vector<std::uint8_t> bytes;
};

struct RecordingOptions {
    int count = 5;
    int width = 320;
    int height = 240;
    int quantiserScale = 4;
    bool lastEndCode = true;  // false: the last picture is cut off
    int junkAfter = 0;        // zero bytes after each picture's end code
};

// Picture i is a colour gradient shifted by i, its sentence gives 10 + i knots and
// second 10 + i of 22:34.
TestRecording WriteRecording(const QString& path, const RecordingOptions& options = {});

// Packed RGB of picture i of WriteRecording, rows top-down.
std::vector<std::uint8_t> TestPictureRgb(int index, int width, int height);

// Writes arbitrary bytes as a file.
void WriteBytes(const QString& path, const std::vector<std::uint8_t>& bytes);

}  // namespace droskal
