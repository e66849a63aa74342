// Fragment marks and saves, and the BMP snapshot, on a real window.
#include <QDir>

#include <random>

#include <unistd.h>

#include <gtest/gtest.h>

#include "Fixture.h"

namespace droskal {
namespace {

std::uint32_t U32(const QByteArray& b, int at) {
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
           static_cast<std::uint8_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

class SaveTest : public RecordingTest {
  protected:
    // Marks the first picture as start and end.
    void MarkFirstPicture() {
        form->cmdUp_Click();
        form->cmdCut_Click();
        form->cmdCut_Click();
    }
};

// The cut button's cycle: start, end, clear, its lines and pictures; an end before the start
// beeps and changes nothing. I and O set the same marks as the button.
TEST_F(SaveTest, MarkCycleWithLinesPicturesAndBeepByButtonAndByKeys) {
    Open({4});
    const auto marks = [this] {
        return std::tuple(form->state.cutStart, form->state.cutEnd,
                          form->linCut1->isVisibleTo(form->fraCmd),
                          form->linCut2->isVisibleTo(form->fraCmd), form->cmdSaveCut->isEnabled(),
                          form->cmdCut->pictureKey());
    };
    const auto lines = [this] { return std::pair(form->linCut1->X1(), form->linCut2->X1()); };
    const std::int64_t start = rec.pictures[1].picturePos, end = rec.pictures[1].endCodePos;
    EXPECT_TRUE(form->cmdCut->isEnabled());
    EXPECT_EQ(marks(), std::tuple(-1, -1, false, false, false, "1"));
    form->cmdUp_Click();
    form->cmdUp_Click();
    form->cmdCut_Click();
    EXPECT_EQ(marks(), std::tuple(start, -1, true, false, false, "2"));
    const float x1 = static_cast<float>(120 + 9375.0 * end / form->state.fileLength);
    EXPECT_FLOAT_EQ(form->linCut1->X1(), x1);
    EXPECT_FLOAT_EQ(form->linCut1->X2(), x1);
    form->cmdDown_Click();  // before the start mark: the end click beeps and changes nothing
    form->cmdCut_Click();
    EXPECT_EQ(desktop.beeps, 1);
    EXPECT_EQ(marks(), std::tuple(start, -1, true, false, false, "2"));
    form->cmdUp_Click();  // the start picture again: start and end on one picture is fine
    form->cmdCut_Click();
    EXPECT_EQ(marks(), std::tuple(start, end, true, true, true, "3"));
    const auto byButton = lines();
    form->cmdCut_Click();
    EXPECT_EQ(marks(), std::tuple(-1, -1, false, false, false, "1"));

    // O without a start beeps; I again sets a new start; O before it beeps.
    Open({4});
    desktop.beeps = 0;
    for (Qt::Key k : {Qt::Key_O, Qt::Key_Right, Qt::Key_I, Qt::Key_Right, Qt::Key_I, Qt::Key_Left,
                      Qt::Key_O, Qt::Key_Right, Qt::Key_O})
        Key(k);
    EXPECT_EQ(marks(), std::tuple(start, end, true, true, true, "3"));
    EXPECT_EQ(lines(), byButton);
    EXPECT_EQ(desktop.beeps, 2);
}

TEST_F(SaveTest, WorkedExampleBytes) {
    std::vector<std::uint8_t> bytes(60000);
    std::mt19937 random(7);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    const std::uint8_t header[] = {0, 0, 1, 0xB3, 0x14, 0x00, 0xF0};
    std::copy(std::begin(header), std::end(header), bytes.begin());
    WriteBytes(Path("w.m1v"), bytes);
    Start(Path("w.m1v"));
    form->state.cutStart = 1000;
    form->state.cutEnd = 50000;
    desktop.dialogAnswers.push_back(Path("out.MPEG"));
    form->cmdSaveCut_Click();
    EXPECT_EQ(test::ReadBytes(Path("out.MPEG").toStdString()),
              test::Fragment(bytes, 1000, 50000));  // 49,032 bytes
    EXPECT_EQ(desktop.dialogs.back().filter, "*.MPEG|*.MPEG");
    EXPECT_EQ(desktop.settings.value("Droskal/Setup/Cut"), Path("out.MPEG"));
    EXPECT_EQ(form->state.cutFileName, Path("out.MPEG"));
    EXPECT_EQ(form->streamFile.readPosition(), 50000);
    // Saving keeps the marks; the next dialog offers the last name.
    desktop.dialogAnswers.push_back(QString());
    form->cmdSaveCut_Click();
    EXPECT_EQ(desktop.dialogs.back().initialName, Path("out.MPEG"));
    EXPECT_EQ(form->state.cutStart, 1000);
}

// The first picture's fragment carries the group header twice; it replaces a longer file
// whole. Saves that cannot be done leave the old file whole; opening a file drops the marks.
TEST_F(SaveTest, FirstPictureFragmentSavesThatNeverDestroyWhatTheyReplaceAndReopening) {
    Open({3});
    MarkFirstPicture();
    ASSERT_EQ(form->state.cutStart, 24);
    WriteBytes(Path("old.MPEG"), QByteArray(500000, 'x'));
    desktop.dialogAnswers.push_back(Path("old.MPEG"));
    form->cmdSaveCut_Click();
    EXPECT_EQ(test::ReadBytes(Path("old.MPEG").toStdString()),
              test::Fragment(rec.bytes, 24, rec.pictures[0].endCodePos));

    // Onto the open recording itself: refused, marks kept, file untouched.
    desktop.dialogAnswers.push_back(rec.path);
    form->cmdSaveCut_Click();
    ASSERT_FALSE(desktop.messages.empty());
    EXPECT_EQ(desktop.messages.back().text, "Nie można zapisać fragmentu do otwartego pliku !");
    EXPECT_EQ(ReadAll(rec.path).size(), static_cast<qsizetype>(rec.bytes.size()));
    EXPECT_EQ(form->state.cutStart, 24);

    // The recording ends before the end mark (it was cut short under the marks): the save
    // fails and the old file stays whole.
    desktop.messages.clear();
    const QByteArray before = ReadAll(Path("old.MPEG"));
    form->state.cutEnd = form->state.fileLength + 5000000;
    desktop.dialogAnswers.push_back(Path("old.MPEG"));
    form->cmdSaveCut_Click();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "Nie można zapisać pliku:\n" + Path("old.MPEG") +
                                            "\nNagranie kończy się przed zaznaczonym fragmentem.");
    EXPECT_EQ(ReadAll(Path("old.MPEG")), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).filter("old.MPEG").size(), 1);

    // Opening a file, even the same one, clears the marks.
    desktop.dialogAnswers.push_back(rec.path);
    form->cmdFile_Click();
    EXPECT_EQ(form->state.cutStart, -1);
    EXPECT_FALSE(form->cmdSaveCut->isEnabled());
    EXPECT_FALSE(form->linCut1->isVisibleTo(form->fraCmd));
}

TEST_F(SaveTest, SnapshotBmpOfBothFormatsAndTheEmptyArea) {
    // The recording's size (none: 0) and the height of the picture area saved.
    for (const auto& [width, height, areaHeight] :
         {std::tuple{0, 0, 242}, std::tuple{320, 240, 242}, std::tuple{640, 480, 480}}) {
        SCOPED_TRACE(width);
        if (width == 0) {
            Start(QString());
        } else {
            Open({1, width, height, 4, true});
            form->cmdUp_Click();
        }
        const QString out = Path(QString("%1.bmp").arg(width));
        desktop.dialogAnswers.push_back(out);
        form->cmdBmp_Click();
        const QByteArray bmp = ReadAll(out);
        const int rowBytes = (642 * 3 + 3) & ~3;
        ASSERT_EQ(bmp.size(), 54 + rowBytes * areaHeight);
        EXPECT_EQ(bmp.left(2), "BM");
        // File size, pixel offset, header size, width, height, 24 bits, no compression.
        EXPECT_EQ((std::vector<std::uint32_t>{U32(bmp, 2), U32(bmp, 10), U32(bmp, 14), U32(bmp, 18),
                                              U32(bmp, 22), U32(bmp, 28) & 0xFFFF, U32(bmp, 30)}),
                  (std::vector<std::uint32_t>{static_cast<std::uint32_t>(bmp.size()), 54, 40, 642,
                                              static_cast<std::uint32_t>(areaHeight), 24, 0}));
        // Every pixel as the area shows it.
        EXPECT_EQ(
            QImage(out).convertToFormat(QImage::Format_RGB32),
            form->Pic1->image().copy(0, 0, 642, areaHeight).convertToFormat(QImage::Format_RGB32));
        EXPECT_TRUE(width != 0 || bmp.mid(54, 3) == QByteArray(3, 64));  // the empty area's grey
        EXPECT_EQ(desktop.settings.value("Droskal/Setup/BmpFile"), out);
        EXPECT_EQ(desktop.dialogs.back().filter, "*.bmp|*.bmp");
        // The next snapshot's dialog offers the name just saved (cancelled here).
        desktop.dialogAnswers.push_back(QString());
        form->cmdBmp_Click();
        EXPECT_EQ(desktop.dialogs.back().initialName, out);
    }
}

// A snapshot in map view holds the point only where the user saw it on the map; during
// playback neither save opens its dialog.
TEST_F(SaveTest, SnapshotInMapViewHoldsThePointWhereItWasSeenAndIgnoresPlayback) {
    Open({1});
    form->cmdUp_Click();
    ShowMap(true);  // no map: the degrees are shown instead
    ASSERT_TRUE(form->Pic1->isHidden());
    EXPECT_EQ(form->SnapshotImage(), form->Pic1->image());  // no point drawn into it
    form->state.mapPicture = QImage(4096, 4096, QImage::Format_RGB32);
    form->state.mapPicture.fill(QColor(250, 250, 240));
    form->ShowPos();
    ASSERT_FALSE(form->Pic1->isHidden());
    const QPoint centre = form->shPoint->geometry().center();
    EXPECT_EQ(form->SnapshotImage().pixelColor(centre), QColor(255, 0, 0));
    EXPECT_EQ(form->Pic1->image().pixelColor(centre), QColor(250, 250, 240));

    form->state.playing = true;
    const std::size_t dialogs = desktop.dialogs.size();
    form->cmdBmp_Click();
    form->cmdSaveCut_Click();
    EXPECT_EQ(desktop.dialogs.size(), dialogs);
}

// Saves into places that cannot take them say why in Polish, keep the remembered names and
// leave what was there whole. Root writes into read-only folders, so there only the other
// places are tried.
TEST_F(SaveTest, SavesIntoUnwritablePlacesSayWhyAndDestroyNothing) {
    Open({2});
    MarkFirstPicture();
    ASSERT_TRUE(QDir(dir.path()).mkpath("out/taken.bmp") && QDir(dir.path()).mkpath("ro"));
    for (const char* old : {"ro/old.bmp", "ro/old.MPEG"}) WriteBytes(Path(old), QByteArray("old"));
    QFile(Path("ro")).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    desktop.settings.insert("Droskal/Setup/BmpFile", "/keep.bmp");
    desktop.settings.insert("Droskal/Setup/Cut", "/keep.MPEG");
    const std::pair<const char*, const char*> cases[] = {
        {"missing/x", "Folder nie istnieje: "},
        {"out/taken.bmp", ""},  // a folder where the file should go
        {"r.m1v/inside", "To nie jest folder: "},
        {"ro/old", "Folder nie pozwala utworzyć w nim nowego pliku, więc istniejącego pliku nie"},
        {"ro/new", "Brak uprawnień do zapisu w folderze: "},
    };
    for (const auto& [target, reason] : cases) {
        const bool locked = QString(target).startsWith("ro/");
        if (locked && ::geteuid() == 0) continue;
        for (const bool bmp : {true, false}) {
            const QString name = Path(target) + (locked ? (bmp ? ".bmp" : ".MPEG") : "");
            SCOPED_TRACE(name.toStdString());
            desktop.messages.clear();
            desktop.dialogAnswers.push_back(name);
            (form.get()->*(bmp ? &Form1::cmdBmp_Click : &Form1::cmdSaveCut_Click))();
            ASSERT_EQ(desktop.messages.size(), 1u);
            const QString head = "Nie można zapisać pliku:\n" + name + "\n";  // then the reason
            EXPECT_TRUE(desktop.messages[0].text.startsWith(head + QString::fromUtf8(reason)))
                << desktop.messages[0].text.toStdString();
            EXPECT_GT(desktop.messages[0].text.size(), head.size());
            EXPECT_EQ(desktop.messages[0].icon, Desktop::Icon::Exclamation);
        }
    }
    EXPECT_EQ(desktop.settings.value("Droskal/Setup/BmpFile"), "/keep.bmp");
    EXPECT_EQ(desktop.settings.value("Droskal/Setup/Cut"), "/keep.MPEG");
    EXPECT_EQ(ReadAll(Path("ro/old.bmp")) + ReadAll(Path("ro/old.MPEG")), "oldold");
    EXPECT_TRUE(QFileInfo(Path("out/taken.bmp")).isDir());
    EXPECT_EQ(ReadAll(rec.path).size(), static_cast<qsizetype>(rec.bytes.size()));
    QFile(Path("ro"))
        .setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// Key E: the evidence pack of the marked stretch, in the window's zone and unit, through the
// folder choice.
TEST_F(SaveTest, KeyEPacksTheMarkedStretchIntoTheChosenFolder) {
    desktop.settings["Droskal/Display/TimeZone"] = "Europe/Warsaw";
    desktop.settings["Droskal/Display/SpeedUnit"] = "mph";
    Open({6});
    ASSERT_TRUE(QDir().mkpath(Path("out")));

    // Without both marks the key explains what it needs and asks for no folder.
    Key(Qt::Key_E);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.contains("Zaznacz"));
    EXPECT_TRUE(desktop.dialogs.empty());

    // Shift+E switches the map inset on, remembered; with no map source E says so.
    for (auto press : {&Form1::cmdUp_Click, &Form1::cmdUp_Click, &Form1::cmdCut_Click,
                       &Form1::cmdUp_Click, &Form1::cmdUp_Click, &Form1::cmdCut_Click})
        (form.get()->*press)();  // marks pictures 2 and 4
    Key(Qt::Key_E, Qt::ShiftModifier);
    EXPECT_EQ(desktop.settings.value("Droskal/Setup/EvidenceMinimap"), "1");
    Key(Qt::Key_E);
    ASSERT_EQ(desktop.messages.size(), 3u);
    EXPECT_TRUE(desktop.messages[2].text.contains("źródła map"));
    EXPECT_TRUE(desktop.dialogs.empty());

    Key(Qt::Key_E, Qt::ShiftModifier);
    desktop.dialogAnswers.push_back(Path("out"));
    Key(Qt::Key_E);
    ASSERT_EQ(desktop.messages.size(), 5u);
    const QString pack = Path("out/2006-03-31_00-34-11_incident");  // 22:34:11 UTC in CEST
    EXPECT_TRUE(desktop.messages[4].text.contains(pack)) << desktop.messages[4].text.toStdString();
    EXPECT_TRUE(desktop.messages[4].text.contains("sha256sum -c SHA256SUMS"));
    // The fragment is what the fragment save writes: header, then pictures 2 to 4.
    EXPECT_EQ(test::ReadBytes((pack + "/original.m1v").toStdString()),
              test::Fragment(rec.bytes, rec.pictures[1].picturePos, rec.pictures[3].endCodePos));
    EXPECT_EQ(desktop.settings.value("Droskal/Setup/Evidence"), Path("out"));
    const QByteArray report = ReadAll(pack + "/report.html");
    EXPECT_TRUE(report.contains("Europe/Warsaw (UTC+02)<br>2006-03-30 22:34:11 UTC"));
    EXPECT_TRUE(report.contains(" mph</td>"));

    // The same stretch again: the folder exists and is left alone, with a message.
    desktop.dialogAnswers.push_back(Path("out"));
    Key(Qt::Key_E);
    ASSERT_EQ(desktop.messages.size(), 6u);
    EXPECT_TRUE(desktop.messages[5].text.contains("już istnieje"));
    EXPECT_EQ(
        QDir(Path("out")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(),
        1);
}

}  // namespace
}  // namespace droskal
