#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeDesktop.h"
#include "app/Form1.h"
#include "tools/RecorderWriter.h"

namespace droskal {

// A recording written by the recorder-stream writer into a test's folder, with real
// intra-coded pictures and one sentence per picture.
struct TestRecording {
    QString path;
    std::vector<PicturePositions> pictures;
    std::vector<std::uint8_t> bytes;
};

struct RecordingOptions {
    int count = 5;
    int width = 320;
    int height = 240;
    int quantiserScale = 4;
    bool lastEndCode = true;  // false: the last picture is cut off
    int junkAfter = 0;        // zero bytes after each picture's end code
    int secondsPerPicture = 1;
    bool validFix = true;  // the sentences' status: A, or V
};

// Picture i is a colour gradient shifted by i, its sentence gives 10 + i knots and the time
// 22:34:10 plus i times secondsPerPicture.
TestRecording WriteRecording(const QString& path, const RecordingOptions& options = {});
// The same with the given sentences: picture i carries sentences[i] as it is (no user data
// for an empty one); pictures past the end of the list carry none.
TestRecording WriteRecording(const QString& path, const RecordingOptions& options,
                             const std::vector<std::string>& sentences);

// Writes arbitrary bytes as a file.
void WriteBytes(const QString& path, const std::vector<std::uint8_t>& bytes);
void WriteBytes(const QString& path, const QByteArray& bytes);
// A real key press and release on the window, as the keyboard gives it: the focused control
// gets it, and the window's shortcuts see it first.
void PressKey(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
QByteArray ReadAll(const QString& path);

// Picture keys of the eleven navigation buttons, left to right, and the sets tests meet.
QStringList NavigationKeys(const Form1& form);
extern const QStringList kAllUnavailable;  // nothing open
extern const QStringList kForwardOnly;     // just opened
extern const QStringList kForwardEnd;      // the last picture reached
extern const QStringList kBackwardEnd;     // the first picture reached
extern const QStringList kStopped;         // playback stopped

// A window started in a scratch folder that also serves as the program's folder.
class WindowTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    FakeDesktop desktop;
    std::unique_ptr<Form1> form;

    QString Path(const QString& name) const { return dir.path() + "/" + name; }
    Form1& Start(const QString& commandLine = QString()) {
        form = std::make_unique<Form1>(desktop, StartupInfo{commandLine, dir.path(), "Droskal"});
        form->Form_Load();
        return *form;
    }
    QStringList Pictures() const { return NavigationKeys(*form); }
};

}  // namespace droskal
