#include "Fixture.h"

#include <QApplication>
#include <QTest>

#include <QFile>

#include "tests/support/TestSupport.h"

namespace droskal {

TestRecording WriteRecording(const QString& path, const RecordingOptions& options,
                             const std::vector<std::string>& sentences) {
    test::RecordingPlan plan{.width = options.width,
                             .height = options.height,
                             .count = options.count,
                             .quantiser = options.quantiserScale};
    plan.sentence = [&](int i) -> std::string {
        const auto index = static_cast<std::size_t>(i);
        if (!sentences.empty()) return index < sentences.size() ? sentences[index] : "";
        return test::Sentence(
            {.seconds = 22 * 3600 + 34 * 60 + 10.0 + i * options.secondsPerPicture,
             .knots = std::to_string(10 + i) + ".0",
             .status = options.validFix ? "A" : "V"});
    };
    plan.lastEndCode = options.lastEndCode;
    plan.junkAfter = options.junkAfter;
    const RecorderWriter writer = test::BuildRecording(plan);
    WriteBytes(path, writer.bytes());
    return {path, writer.pictures(), writer.bytes()};
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
