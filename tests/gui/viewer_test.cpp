// What the program does before it waits for events.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FakeDesktop.h"
#include "Recordings.h"
#include "app/Viewer.h"

namespace droskal {
namespace {

TEST(Viewer, ArgumentsFormOneFileName) {
    const StartupInfo startup = StartupFromArguments(
        {"/opt/droskal/Droskal", "\"/data/jazda", "nocna.m1v\""}, "/opt/droskal/Droskal");
    EXPECT_EQ(startup.commandLine, "\"/data/jazda nocna.m1v\"");
    EXPECT_EQ(startup.appDir, "/opt/droskal");
    EXPECT_EQ(startup.appName, "Droskal");
    EXPECT_EQ(StartupFromArguments({"/x/Other.bin"}, "/x/Other.bin").commandLine, "");
    EXPECT_EQ(StartupFromArguments({"/x/Other.bin"}, "/x/Other.bin").appName, "Other");
}

TEST(Viewer, StartsLoadedAndShown) {
    QTemporaryDir dir;
    const TestRecording rec = WriteRecording(dir.path() + "/a b.m1v");
    FakeDesktop desktop;
    const auto form = StartViewer(
        desktop, StartupFromArguments({dir.path() + "/Droskal", "\"" + dir.path() + "/a", "b.m1v\""},
                                      dir.path() + "/Droskal"));
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->streamFile.isOpen());
    EXPECT_EQ(form->state.mpegFileName, rec.path);
    EXPECT_EQ(form->cmdDown->pictureKey(), "DownU");
    EXPECT_EQ(form->state.lonScale, 7327.0f);
}

}  // namespace
}  // namespace droskal
