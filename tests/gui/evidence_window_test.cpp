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
    void PressE() {
        form->show();
        QApplication::setActiveWindow(form.get());
        // To the control with the focus, as a keyboard would.
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus != nullptr && focus->window() == form.get() ? focus : form.get(),
                        Qt::Key_E);
    }
};

TEST_F(EvidenceWindowTest, KeyEPacksTheMarkedStretchIntoTheChosenFolder) {
    const TestRecording rec = WriteRecording(Path("r.m1v"), RecordingOptions{6});
    Start(rec.path);
    ASSERT_TRUE(QDir().mkpath(Path("out")));

    // Without both marks the key explains what it needs and asks for no folder.
    PressE();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.contains("Zaznacz"));
    EXPECT_TRUE(desktop.dialogs.empty());

    form->cmdUp_Click();
    form->cmdUp_Click();
    form->cmdCut_Click();  // picture 2
    form->cmdUp_Click();
    form->cmdUp_Click();
    form->cmdCut_Click();  // picture 4
    desktop.dialogAnswers.push_back(Path("out"));
    PressE();
    ASSERT_EQ(desktop.messages.size(), 2u);
    const QString pack = Path("out/2006-03-30_22-34-11_incident");
    EXPECT_TRUE(desktop.messages[1].text.contains(pack)) << desktop.messages[1].text.toStdString();
    EXPECT_TRUE(desktop.messages[1].text.contains("sha256sum -c SHA256SUMS"));
    // The fragment is what the fragment save writes: header, then pictures 2 to 4.
    const QByteArray bytes = QByteArray(reinterpret_cast<const char*>(rec.bytes.data()),
                                        static_cast<qsizetype>(rec.bytes.size()));
    EXPECT_EQ(
        ReadAll(pack + "/original.m1v"),
        bytes.left(20) + bytes.mid(rec.pictures[1].picturePos - 12,
                                   rec.pictures[3].endCodePos - rec.pictures[1].picturePos + 12));
    EXPECT_EQ(desktop.settings.value("Droskal/Setup/Evidence"), Path("out"));

    // The same stretch again: the folder exists and is left alone, with a message.
    desktop.dialogAnswers.push_back(Path("out"));
    PressE();
    ASSERT_EQ(desktop.messages.size(), 3u);
    EXPECT_TRUE(desktop.messages[2].text.contains("already exists"));
    EXPECT_EQ(
        QDir(Path("out")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(),
        1);
}

}  // namespace
}  // namespace droskal
