// Start-up, configuration, the settings store and opening files on a real window.
#include <QDir>
#include <QSettings>

#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "Fixture.h"
#include "app/QtDesktop.h"
#include "app/Viewer.h"

namespace droskal {
namespace {

using StartupTest = WindowTest;

TEST_F(StartupTest, IniValuesTheirMessagesAndTheDefaultsWithoutIni) {
    Start();
    EXPECT_EQ(form->state.playDelay, 0.1f);
    EXPECT_EQ(form->state.mapLat1, 52.41674f);
    EXPECT_EQ(form->state.mapLon2, 20.2325f);
    EXPECT_EQ(form->state.latScale, 10653.0f);  // rounded, unlike the scales an ini gives
    EXPECT_EQ(form->state.lonScale, 7327.0f);
    EXPECT_TRUE(desktop.messages.empty());

    WriteBytes(Path("Droskal.ini"),
               "PLAYSPEED1=0.2\r\nmaplat1=52.5\nMAPLAT2=53\nMAPLON1=21,5\nMAPLON2=20\n"
               "MAPLAT1=52.25\n[Setup]\n   MAPLON1 = 3\n\n");
    Start();
    EXPECT_FLOAT_EQ(form->state.playDelay, 0.2f);
    EXPECT_FLOAT_EQ(form->state.mapLat1, 52.25f);  // the later line wins
    EXPECT_FLOAT_EQ(form->state.mapLon1, 21.0f);   // a decimal comma splits the item
    EXPECT_FLOAT_EQ(form->state.latScale, 4095.0f / (53.0f - 52.25f));
    EXPECT_FLOAT_EQ(form->state.lonScale, 4095.0f / (21.0f - 20.0f));
    ASSERT_EQ(desktop.messages.size(), 3u);
    EXPECT_EQ(desktop.messages[0].text, "Błąd w pliku *.ini !");  // the "5" of 21,5
    EXPECT_EQ(desktop.messages[1].text, "Błąd w pliku *.ini !");  // [Setup]
    EXPECT_EQ(desktop.messages[2].text, "Nieznany parametr w pliku *.ini : 'MAPLON1 '");
    EXPECT_EQ(desktop.messages[2].icon, Desktop::Icon::Information);
}

TEST_F(StartupTest, CommandLineQuotesTheRememberedFileAndTheOpenDialog) {
    const TestRecording rec = WriteRecording(Path("a b.m1v"));
    desktop.settings.insert("Droskal/Setup/MpegFile", rec.path);
    desktop.settings.insert("Droskal/Setup/BmpFile", "/tmp/last.bmp");
    const std::pair<QString, QString> cases[] = {
        {"\"" + rec.path + "\"", rec.path},
        {"\"" + rec.path, rec.path},
        {rec.path + "\"", rec.path},
        {rec.path, rec.path},
        {"", rec.path},                                          // the remembered file
        {rec.path + " " + rec.path, rec.path + " " + rec.path},  // one name, not found
        // Relative to the folder the program starts in, kept as a full path.
        {"\"a b.m1v\"", rec.path},
        {"sub/../a b.m1v", rec.path},
        {"\"x\"y\"", Path("x\"y")},
    };
    const QString startFolder = QDir::currentPath();
    QDir::setCurrent(dir.path());
    for (const auto& [commandLine, opened] : cases) {
        SCOPED_TRACE(commandLine.toStdString());
        Start(commandLine);
        EXPECT_EQ(form->state.mpegFileName, opened);
        EXPECT_EQ(form->state.bmpFileName, "/tmp/last.bmp");
        EXPECT_EQ(form->streamFile.isOpen(), opened == rec.path);
    }
    QDir::setCurrent(startFolder);
    EXPECT_EQ(form->lblFile->text(), "File not found !");
    // The open dialog cancelled reopens the file; a missing choice keeps the name.
    Start(rec.path);
    ASSERT_TRUE(form->FindStartUp(1) && form->FindPicStart(1) &&
                form->ReadFrame(1, *form->frameBuf) && form->FindStartUp(1));
    EXPECT_NE(form->lblPlay->text(), "0%");
    form->cmdFile_Click();  // cancelled: the dialog hands back the name it was given
    ASSERT_EQ(desktop.dialogs.size(), 1u);
    EXPECT_EQ(desktop.dialogs[0].filter, "*.M1V (MPEG-1)|*.M1V");
    EXPECT_EQ(desktop.dialogs[0].initialName, rec.path);
    EXPECT_TRUE(form->streamFile.isOpen());
    EXPECT_EQ(form->lblPlay->text(), "0%");
    EXPECT_EQ(form->streamFile.readPosition(), 7);

    desktop.dialogAnswers.push_back(Path("gone.m1v"));
    form->cmdFile_Click();
    EXPECT_EQ(form->lblFile->text(), "File not found !");
    EXPECT_EQ(form->state.mpegFileName, rec.path);
    EXPECT_FALSE(form->streamFile.isOpen());
}

// A name over 40 characters shows "..." and its last 37 characters.
TEST_F(StartupTest, NewFileOutcomes) {
    const QString tail = "abcdefghijklmnopqrstuvwxyz0123456.m1v", base = dir.path() + "/";
    ASSERT_GT(base.size() + tail.size(), 40);
    const QString forty = base + QString(40 - base.size() - 4, 'n') + ".m1v";
    const TestRecording rec = WriteRecording(forty);
    WriteRecording(base + tail);
    WriteBytes(Path("cif.m1v"), {0, 0, 1, 0xB3, 0x16, 0x01, 0x20, 0, 0, 0, 0, 0});
    ASSERT_TRUE(QFile::link(Path("b.m1v"), Path("a.m1v")) &&
                QFile::link(Path("a.m1v"), Path("b.m1v")));
    // The system's reason for a loop of links; not damaged media: no question.
    const std::string reason = std::strerror(ELOOP);
    // The name, what NewFile answers, the caption, buttons, whether the file stays open, format.
    const std::tuple<QString, bool, QString, QStringList, bool, std::uint8_t> cases[] = {
        {forty, true, forty, kForwardOnly, true, 2},
        {base + tail, true, "..." + tail, kForwardOnly, true, 2},
        {Path("cif.m1v"), false, "Bad  file !", kForwardOnly, true, 0},
        {Path("missing.m1v"), false, "File not found !", kAllUnavailable, false, 0},
        {Path("a.m1v"), false, QString::fromStdString(reason), kAllUnavailable, false, 0},
        {"", false, "", kAllUnavailable, false, 0},
    };
    Start();
    for (const auto& [name, result, caption, pictures, open, format] : cases) {
        SCOPED_TRACE(name.toStdString());
        form->UnActiveDownCmd();
        form->state.picFormat = 0;
        EXPECT_EQ(form->NewFile(name), result);
        EXPECT_EQ(form->lblFile->text(), caption);
        EXPECT_EQ(Pictures(), pictures);
        EXPECT_EQ(form->streamFile.isOpen(), open);
        EXPECT_EQ(form->state.picFormat, format);
        EXPECT_EQ(form->lblPlay->text(), "0%");
        if (result) {  // ready for the first step; the labels wait for the first picture
            EXPECT_TRUE(form->state.barEnabled && form->cmdCut->isEnabled());
            EXPECT_EQ(form->state.fileLength, static_cast<std::int64_t>(rec.bytes.size()));
            EXPECT_EQ(form->streamFile.readPosition(), 7);
            EXPECT_FALSE(form->lblSpeed->isVisibleTo(form.get()) ||
                         form->chkGps->isVisibleTo(form.get()));
        }
        form->streamFile.close();
    }
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(StartupTest, FormatLaysTheWindowOutAndKeepsItsBottomEdge) {
    const TestRecording small = WriteRecording(Path("cif.m1v"));
    const TestRecording large =
        WriteRecording(Path("vga.m1v"), RecordingOptions{2, 640, 480, 4, true});
    const auto layout = [this] {
        return std::tuple(form->state.picFormat, form->state.picBuf.size(), form->size(),
                          form->Pic1->height(), form->fraCmd->y());
    };
    Start(large.path);
    EXPECT_EQ(layout(), std::tuple(1, 640u * 480 * 3, QSize(642, 625), 480, 486));
    form->move(form->x(), 300);
    const int bottom = form->geometry().bottom();
    form->streamFile.close();
    ASSERT_TRUE(form->NewFile(small.path));
    EXPECT_EQ(layout(), std::tuple(2, 320u * 240 * 3, QSize(642, 387), 242, 248));
    EXPECT_EQ(form->geometry().bottom(), bottom);
    // Back to 640x480 near the top of the screen: the top stops at 0.
    form->move(form->x(), 10);
    form->streamFile.close();
    ASSERT_TRUE(form->NewFile(large.path));
    EXPECT_EQ(form->geometry().top(), 0);
}

// Qt's INI store in an isolated folder: a new run reads what the last one stored; a store full
// of garbage reads as absent, the next save writes one that reads back, and a window started on
// such a store has no name to open and says nothing.
TEST_F(WindowTest, SettingsStoreRoundTripAndGarbage) {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    QtDesktop qt;
    EXPECT_EQ(qt.GetSetting("DroskalTest", "Setup", "MpegFile", "none"), "none");
    qt.SaveSetting("DroskalTest", "Setup", "MpegFile", "/data/jazda ż.m1v");
    qt.SaveSetting("DroskalTest", "Setup", "BmpFile", "/tmp/a.bmp");
    QtDesktop second;
    EXPECT_EQ(second.GetSetting("DroskalTest", "Setup", "MpegFile", ""), "/data/jazda ż.m1v");
    EXPECT_EQ(second.GetSetting("DroskalTest", "Setup", "BmpFile", ""), "/tmp/a.bmp");
    EXPECT_EQ(second.GetSetting("OtherApp", "Setup", "MpegFile", ""), "");
    EXPECT_TRUE(QFile::exists(Path("Droskal/DroskalTest.ini")));
    EXPECT_EQ(QtFilterFromPipeFilter("*.M1V (MPEG-1)|*.M1V"), "*.M1V (MPEG-1) (*.M1V)");

    QByteArray garbage(8192, '\0');
    std::mt19937 rng(5);
    for (char& c : garbage) c = static_cast<char>(rng());
    garbage += "\n[Setup\nMpegFile\n=\n\"unterminated";
    const QString store = Path("Droskal/HostileSettings.ini");
    WriteBytes(store, garbage);
    EXPECT_EQ(qt.GetSetting("HostileSettings", "Setup", "MpegFile", "default"), "default");
    qt.SaveSetting("HostileSettings", "Setup", "MpegFile", Path("r.m1v"));
    EXPECT_EQ(qt.GetSetting("HostileSettings", "Setup", "MpegFile", ""), Path("r.m1v"));
    WriteBytes(store, garbage);
    form = std::make_unique<Form1>(qt, StartupInfo{QString(), dir.path(), "HostileSettings"});
    form->Form_Load();
    EXPECT_EQ(form->lblFile->text(), "");
    EXPECT_EQ(Pictures(), kAllUnavailable);
}

// The arguments make one file name and the window comes up loaded and shown. A file manager
// passes the one path as one argument (Exec=Droskal %f): it opens exactly, blanks, Polish
// letters and quotes of its own included.
TEST_F(WindowTest, ViewerOpensWhatItsArgumentsName) {
    const StartupInfo bare = StartupFromArguments({"/x/Other.bin"}, "/x/Other.bin");
    EXPECT_EQ(bare.commandLine, "");
    EXPECT_EQ(bare.appName, "Other");
    ASSERT_TRUE(QDir(dir.path()).mkpath("Zażółć gęślą jaźń"));
    // The arguments and the name they make; none given: the one argument itself.
    const std::pair<QStringList, QString> cases[] = {
        {{"\"" + Path("a"), "b.m1v\""}, Path("a b.m1v")},
        {{Path("Zażółć gęślą jaźń/Nagranie  łódź 1.m1v")}, ""},
        {{Path("\"cytat.m1v")}, ""},
        {{Path("koniec.m1v\"")}, ""},
        {{Path("\"oba\".m1v\"")}, ""},
    };
    for (const auto& [arguments, joined] : cases) {
        const QString opened = joined.isEmpty() ? arguments[0] : joined;
        SCOPED_TRACE(opened.toStdString());
        WriteRecording(opened);
        const StartupInfo startup =
            StartupFromArguments(QStringList{Path("Droskal")} + arguments, Path("Droskal"));
        EXPECT_EQ(startup.appDir, dir.path());
        EXPECT_EQ(startup.appName, "Droskal");
        form = StartViewer(desktop, startup);
        EXPECT_TRUE(form->isVisible());
        EXPECT_TRUE(form->streamFile.isOpen());
        EXPECT_EQ(form->state.mpegFileName, opened);
        EXPECT_EQ(form->cmdDown->pictureKey(), "DownU");
    }
}

// Installed, Droskal.ini, map.gif and the demo lie in ../share/droskal beside bin/; a file
// beside the executable wins. With no file open the open dialog starts at the demo.
TEST_F(WindowTest, ProgramFilesBesideTheExecutableOrInShare) {
    const QString bin = Path("bin"), share = Path("share/droskal");
    // Where Droskal.ini, map.gif and the demo are ("b" beside, "s" shared, both or none), and
    // the delay, map width (8 beside, 16 shared) and dialog start the viewer gets.
    const std::tuple<const char*, const char*, const char*, float, int, QString> cases[] = {
        {"", "", "", 0.1f, 0, ""},
        {"s", "s", "s", 0.7f, 16, share + "/demo.m1v"},
        {"bs", "bs", "bs", 0.3f, 8, bin + "/demo.m1v"},
        {"b", "s", "", 0.3f, 16, ""},
    };
    for (const auto& [iniAt, mapAt, demoAt, playDelay, mapSize, dialogStart] : cases) {
        SCOPED_TRACE(std::string(iniAt) + "/" + mapAt + "/" + demoAt);
        const QByteArray ini = "MAPLAT1=52\nMAPLAT2=53\nMAPLON1=21\nMAPLON2=20\nPLAYSPEED1=";
        for (const auto& [folder, tag, delay, size] :
             {std::tuple{bin, 'b', "0.3", 8}, std::tuple{share, 's', "0.7", 16}}) {
            ASSERT_TRUE(QDir(folder).removeRecursively() && QDir().mkpath(folder));
            if (std::strchr(iniAt, tag)) WriteBytes(folder + "/Droskal.ini", ini + delay + "\n");
            QImage map(size, size, QImage::Format_RGB32);
            map.fill(Qt::gray);
            ASSERT_TRUE(!std::strchr(mapAt, tag) || map.save(folder + "/map.gif", "PNG"));
            if (std::strchr(demoAt, tag)) WriteRecording(folder + "/demo.m1v");
        }
        form = StartViewer(desktop, StartupFromArguments({bin + "/Droskal"}, bin + "/Droskal"));
        EXPECT_FLOAT_EQ(form->state.playDelay, playDelay);
        EXPECT_EQ(form->state.mapPicture.width(), mapSize);
        desktop.dialogs.clear();
        desktop.dialogAnswers = {""};
        form->cmdFile_Click();
        ASSERT_EQ(desktop.dialogs.size(), 1u);
        EXPECT_EQ(desktop.dialogs[0].initialName, dialogStart);
    }
}

}  // namespace
}  // namespace droskal
