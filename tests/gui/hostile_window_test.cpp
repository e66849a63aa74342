// What the window shows for the files a damaged memory card or a careless hand gives it:
// never a crash, never a blocked window, and a caption or message that says what happened.
#include <unistd.h>

#include <random>

#include <gtest/gtest.h>

#include "Fixture.h"
#include "tools/generators/IndexedImage.h"

namespace droskal {
namespace {

class HostileWindowTest : public RecordingTest {
  protected:
    // Every way of moving, each of which must end quietly, showing nothing, on a file without
    // pictures or with none open; then map view on and off.
    void PressEverything() {
        const QImage before = form->Pic1->image();
        int pictures = 0;
        form->onPictureShown = [&] { ++pictures; };
        for (auto press : {&Form1::cmdUp_Click, &Form1::cmdDown_Click, &Form1::cmdUpE_Click,
                           &Form1::cmdDownE_Click, &Form1::cmdUpF_Click, &Form1::cmdDownFF_Click,
                           &Form1::cmdUpFFF_Click})
            (form.get()->*press)();
        form->state.barEnabled = true;
        form->fraCmd_MouseDown(1, 0, 121, 400);
        form->fraCmd_MouseUp(1, 0, 4000, 400);
        form->fraCmd_MouseDown(1, 0, 5000, 400);
        // A seek always lands on a byte, so an empty file leaves the read position at 1.
        EXPECT_LE(form->streamFile.readPosition(),
                  std::max<std::int64_t>(form->state.fileLength, 1));
        EXPECT_EQ(pictures, 0);
        EXPECT_FALSE(form->state.playing);
        EXPECT_EQ(form->Pic1->image(), before);
        ShowMap(true);
        ShowMap(false);
        form->onPictureShown = nullptr;
    }
};

// Files too short for a sequence header are bad files; seven bytes make a whole header, so that
// file opens, it simply has no picture. User data too long for the slice search ends the step
// there. All quietly.
TEST_F(HostileWindowTest, ShortFilesAndHugeUserDataShowNoPicture) {
    const std::vector<std::uint8_t> header = {0x00, 0x00, 0x01, 0xB3, 0x14, 0x00, 0xF0};
    RecorderWriter writer;
    RecorderPicture picture;
    picture.userData.push_back(std::vector<std::uint8_t>(20000, 'x'));
    picture.slice = {0x20, 0xFF};
    writer.addPicture(picture);
    for (std::size_t n = 0; n <= 8; ++n) {
        SCOPED_TRACE(n);
        const QString path = Path(QString("short%1.m1v").arg(n));
        WriteBytes(path, n == 8 ? writer.bytes()
                                : std::vector<std::uint8_t>(header.begin(), header.begin() + n));
        desktop.messages.clear();
        Start(path);
        EXPECT_EQ(form->lblFile->text() == "Bad  file !", n < 7);
        EXPECT_EQ(Pictures(), kForwardOnly);
        PressEverything();
        EXPECT_EQ(form->cmdUp->pictureKey(), "UpU");  // the forward step met the end
        EXPECT_FALSE(form->lblTime->isVisible());
        EXPECT_TRUE(desktop.messages.empty());
    }
}

TEST_F(HostileWindowTest, RecordingShrinkingUnderTheWindow) {
    // Padding between the pictures keeps each one out of the reader's cached block of the
    // one before, so what was cut is really read from the shrunken file.
    RecordingOptions options;
    options.count = 6;
    options.junkAfter = 200000;
    const TestRecording rec = WriteRecording(Path("r.m1v"), options);
    Start(rec.path);
    form->cmdUp_Click();
    form->cmdUp_Click();
    ASSERT_EQ(form->state.picturePos, rec.pictures[1].picturePos);
    const QImage shown = form->Pic1->image();
    ASSERT_EQ(::truncate(rec.path.toLocal8Bit().constData(), rec.pictures[3].slicePos + 100), 0);

    // Steps go on until the reads meet the new end (bytes still cached may show once more);
    // the step that meets it ends quietly with the forward buttons unavailable.
    int steps = 0;
    while (form->cmdUp->pictureKey() != "UpU") {
        ASSERT_LT(++steps, 6);
        form->cmdUp_Click();
    }
    EXPECT_EQ(form->state.picturePos, rec.pictures[3].picturePos);
    EXPECT_NE(form->Pic1->image(), shown);
    form->cmdUpE_Click();
    form->fraCmd_MouseDown(1, 0, 9000, 300);
    form->fraCmd_MouseUp(1, 0, 9000, 300);
    EXPECT_LE(form->streamFile.readPosition(), form->state.fileLength);
    form->cmdDownE_Click();
    EXPECT_EQ(form->state.picturePos, rec.pictures[0].picturePos);
    EXPECT_TRUE(desktop.messages.empty());
}

// A recording whose pictures lie beyond 4 GiB (a sparse file): the end jump reaches the last
// picture and the position display does not wrap.
TEST_F(HostileWindowTest, RecordingOverFourGiB) {
    const TestRecording head = WriteRecording(Path("big.m1v"), RecordingOptions{1});
    const TestRecording tail = WriteRecording(Path("tail.m1v"), RecordingOptions{3});
    const QString path = Path("big.m1v");
    const std::int64_t offset = (std::int64_t{1} << 32) + 4096;
    const std::int64_t total = offset + static_cast<std::int64_t>(tail.bytes.size());
    QFile big(path);
    if (!big.open(QIODevice::ReadWrite) || !big.resize(total))
        GTEST_SKIP() << "no sparse files here";
    ASSERT_TRUE(big.seek(offset));
    ASSERT_EQ(big.write(reinterpret_cast<const char*>(tail.bytes.data()),
                        static_cast<qint64>(tail.bytes.size())),
              static_cast<qint64>(tail.bytes.size()));
    big.close();

    Start(path);
    EXPECT_EQ(form->state.fileLength, total);
    form->cmdUpE_Click();
    EXPECT_EQ(form->state.picturePos, offset + tail.pictures[2].picturePos);
    // No wrap at 32 bits: the end of a 4 GiB file reads as its end.
    EXPECT_TRUE(form->lblPlay->text() == "99%" || form->lblPlay->text() == "100%")
        << form->lblPlay->text().toStdString();
    EXPECT_EQ(form->lblTime->text(), "30.03.2006  22:34:12");
    form->cmdDown_Click();
    EXPECT_EQ(form->state.picturePos, offset + tail.pictures[1].picturePos);
    EXPECT_EQ(form->lblTime->text(), "30.03.2006  22:34:11");
    QFile::remove(path);
}

// Values missing, or a file too damaged to hold them: one critical message after the item
// messages (ten at most), nothing opened, the remembered file kept, and nothing the buttons do
// goes wrong. Otherwise start-up goes on with the good items.
TEST_F(HostileWindowTest, IncompleteAndDamagedIniFiles) {
    const QByteArray valid = "PLAYSPEED1=1\nMAPLAT1=52.5\nMAPLAT2=53\nMAPLON1=21\nMAPLON2=20\n";
    QByteArray garbage(4096, '\0');
    std::mt19937 rng(11);
    for (char& c : garbage) c = static_cast<char>(rng());
    // What Droskal.ini holds, whether start-up goes on, and the messages (-1: any number).
    const std::tuple<const char*, QByteArray, bool, int> cases[] = {
        {"empty file", "", false, 1},
        {"no PLAYSPEED1", "MAPLAT1=52.5\nMAPLAT2=53\nMAPLON1=21\nMAPLON2=20\n", false, 1},
        {"binary garbage", garbage, false, -1},
        {"a 1 MB number", valid + "PLAYSPEED1=" + QByteArray(1 << 20, '9') + "\n", false, 1},
        {"500 bad lines after the values", valid + QByteArray("garbage line\n").repeated(500), true,
         10},
    };
    for (const auto& [name, text, started, messages] : cases) {
        SCOPED_TRACE(name);
        WriteBytes(Path("Droskal.ini"), text);
        desktop.messages.clear();
        desktop.settings.insert("Droskal/Setup/MpegFile", "/remembered.m1v");
        Start("/some/file.m1v");
        EXPECT_TRUE(messages < 0 || static_cast<int>(desktop.messages.size()) == messages)
            << desktop.messages.size();
        if (started) {
            EXPECT_FLOAT_EQ(form->state.playDelay, 1.0f);
            EXPECT_EQ(form->lblFile->text(), "File not found !");
            continue;
        }
        ASSERT_FALSE(desktop.messages.empty());
        EXPECT_EQ(desktop.messages.back().text, "Brak wszytkich wartości w pliku *.ini !");
        EXPECT_EQ(desktop.messages.back().icon, Desktop::Icon::Critical);
        EXPECT_FALSE(form->streamFile.isOpen());
        EXPECT_EQ(form->lblFile->text(), "lblFile");  // nothing was opened
        PressEverything();
        EXPECT_EQ(form->cmdUp->pictureKey(), "Up");  // design state
        int cancel = 0;
        form->Form_QueryUnload(cancel, 0);
        EXPECT_EQ(desktop.settings.value("Droskal/Setup/MpegFile"), "/remembered.m1v");
    }
}

TEST_F(HostileWindowTest, MapsThatAreNoMaps) {
    IndexedImage small;
    small.width = 64;
    small.height = 64;
    small.pixels.assign(64 * 64, 1);
    small.pixels[5 * 64 + 7] = 2;
    small.palette = {{0, 0, 0}, {255, 255, 255}, {10, 200, 30}};
    ASSERT_TRUE(WriteGif(Path("real.gif").toStdString(), small));
    const QByteArray real = ReadAll(Path("real.gif"));
    // A GIF header claiming 60000 x 60000 pixels with a two-colour table and an empty image.
    QByteArray huge("GIF89a");
    huge += QByteArray::fromHex("60ea60ea800000") + QByteArray::fromHex("000000ffffff");
    huge += QByteArray::fromHex("2c0000000060ea60ea00") + QByteArray::fromHex("02024c01003b");
    const std::tuple<const char*, QByteArray, bool> cases[] = {
        {"text", "this is not a picture\n", false},
        {"empty", QByteArray(), false},
        {"truncated GIF", real.left(16), false},
        {"60000 x 60000", huge, false},
        {"small real GIF", real, true},
    };
    const TestRecording rec = WriteRecording(Path("r.m1v"), RecordingOptions{2});
    for (const auto& [name, bytes, loaded] : cases) {
        SCOPED_TRACE(name);
        WriteBytes(Path("map.gif"), bytes);
        Start(rec.path);
        EXPECT_EQ(!form->state.mapPicture.isNull(), loaded);
        if (loaded) {  // kept compact, eight bits a pixel
            EXPECT_EQ(form->state.mapPicture.size(), QSize(64, 64));
            EXPECT_EQ(form->state.mapPicture.format(), QImage::Format_Indexed8);
            EXPECT_EQ(form->state.mapPicture.pixel(7, 5), qRgb(10, 200, 30));
            EXPECT_EQ(form->state.mapPicture.pixel(8, 5), qRgb(255, 255, 255));
        }
        form->cmdUp_Click();
        ShowMap(true);
        form->cmdUp_Click();  // a map smaller than the window it is drawn in
        // Without a map the position is given in words instead.
        EXPECT_TRUE(loaded || !form->Pic1->isVisibleTo(form.get()));
        EXPECT_TRUE(loaded || !form->lblLat->text().isEmpty());
        EXPECT_TRUE(desktop.messages.empty());
    }
}

}  // namespace
}  // namespace droskal
