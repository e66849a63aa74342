// Key E on a real window: the evidence pack of the marked stretch, through the folder choice.
#include <QApplication>
#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

#include "Recordings.h"

namespace droskal {
namespace {

class EvidenceWindowTest : public WindowTest {
  protected:
    void PressE(Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        form->show();
        QApplication::setActiveWindow(form.get());
        // To the control with the focus, as a keyboard would.
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus != nullptr && focus->window() == form.get() ? focus : form.get(),
                        Qt::Key_E, modifiers);
    }
};

TEST_F(EvidenceWindowTest, KeyEPacksTheMarkedStretchIntoTheChosenFolder) {
    desktop.settings["Droskal/Display/TimeZone"] = "Europe/Warsaw";
    desktop.settings["Droskal/Display/SpeedUnit"] = "mph";
    const TestRecording rec = WriteRecording(Path("r.m1v"), RecordingOptions{6});
    Start(rec.path);
    ASSERT_TRUE(QDir().mkpath(Path("out")));

    // Without both marks the key explains what it needs and asks for no folder.
    PressE();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.contains("Zaznacz"));
    EXPECT_TRUE(desktop.dialogs.empty());

    // Shift+E switches the map inset on, remembered; with no map source E says so.
    form->cmdUp_Click();
    form->cmdUp_Click();
    form->cmdCut_Click();  // picture 2
    form->cmdUp_Click();
    form->cmdUp_Click();
    form->cmdCut_Click();  // picture 4
    PressE(Qt::ShiftModifier);
    EXPECT_EQ(desktop.settings.value("Droskal/Setup/EvidenceMinimap"), "1");
    PressE();
    ASSERT_EQ(desktop.messages.size(), 3u);
    EXPECT_TRUE(desktop.messages[2].text.contains("źródła map"));
    EXPECT_TRUE(desktop.dialogs.empty());

    PressE(Qt::ShiftModifier);
    desktop.dialogAnswers.push_back(Path("out"));
    PressE();
    ASSERT_EQ(desktop.messages.size(), 5u);
    const QString pack = Path("out/2006-03-31_00-34-11_incident");  // 22:34:11 UTC in CEST
    EXPECT_TRUE(desktop.messages[4].text.contains(pack)) << desktop.messages[4].text.toStdString();
    EXPECT_TRUE(desktop.messages[4].text.contains("sha256sum -c SHA256SUMS"));
    // The fragment is what the fragment save writes: header, then pictures 2 to 4.
    const QByteArray bytes = QByteArray(reinterpret_cast<const char*>(rec.bytes.data()),
                                        static_cast<qsizetype>(rec.bytes.size()));
    EXPECT_EQ(
        ReadAll(pack + "/original.m1v"),
        bytes.left(20) + bytes.mid(rec.pictures[1].picturePos - 12,
                                   rec.pictures[3].endCodePos - rec.pictures[1].picturePos + 12));
    EXPECT_EQ(desktop.settings.value("Droskal/Setup/Evidence"), Path("out"));
    // In the window's zone and unit.
    const QByteArray report = ReadAll(pack + "/report.html");
    EXPECT_TRUE(report.contains("Europe/Warsaw (UTC+02)<br>2006-03-30 22:34:11 UTC"));
    EXPECT_TRUE(report.contains(" mph</td>"));

    // The same stretch again: the folder exists and is left alone, with a message.
    desktop.dialogAnswers.push_back(Path("out"));
    PressE();
    ASSERT_EQ(desktop.messages.size(), 6u);
    EXPECT_TRUE(desktop.messages[5].text.contains("już istnieje"));
    EXPECT_EQ(
        QDir(Path("out")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(),
        1);
}

}  // namespace
}  // namespace droskal
