// A folder opened as trips on a real window: stepping and end jumps across a join with the
// caption following the file, PgUp / PgDn between trips, a fragment across a join, the folder
// entry of the open button, read errors with the system's reason, and the library window.
#include <cerrno>
#include <cstring>

#include <QDir>
#include <QHeaderView>
#include <QTest>

#include <gtest/gtest.h>

#include "Fixture.h"
#include "app/LibraryWindow.h"

namespace droskal {
namespace {

// Two drives: a.m1v (3 pictures) and b.m1v (3) one after the other, c.m1v (2) an hour later.
class TripWindowTest : public RecordingTest {
  protected:
    RecorderWriter a = test::DriveRecording(320, 3, 1000, true),
                   b = test::DriveRecording(320, 3, 1003, true),
                   c = test::DriveRecording(320, 2, 5000, true);
    std::vector<std::uint8_t> trip;  // trip 1's bytes
    QString files;                   // the first letter of the file named at each picture shown

    void SetUp() override {
        for (const auto& [name, drive] : {std::pair{"a", &a}, {"b", &b}, {"c", &c}})
            WriteBytes(Path(QString("%1.m1v").arg(name)), drive->bytes());
        rec.pictures = a.pictures();  // trip 1's pictures
        for (PicturePositions p : b.pictures()) {
            p.picturePos += static_cast<std::int64_t>(a.bytes().size());
            rec.pictures.push_back(p);
        }
        trip = a.bytes();
        trip.insert(trip.end(), b.bytes().begin(), b.bytes().end());
    }
    QString File() const { return form->lblFile->text().section('/', -1); }
    void OpenTrips(const QString& path) {
        OpenFile(path);
        form->onPictureShown = [this] {
            shown.push_back(Index());
            files += File().left(1);
        };
    }
};

TEST_F(TripWindowTest, SteppingAndEndJumpsCrossTheJoinWithTheFileCaption) {
    OpenTrips(dir.path());
    // The folder opens its newest trip and is remembered as a folder.
    EXPECT_EQ(form->state.fileLength, static_cast<std::int64_t>(c.bytes().size()));
    EXPECT_EQ(File(), "c.m1v");
    Key(Qt::Key_PageDown);
    EXPECT_EQ(desktop.beeps, 1);  // no trip after the last

    Key(Qt::Key_PageUp);  // trip 1 opens on its first picture; the bar spans the trip
    EXPECT_EQ(form->state.fileLength, static_cast<std::int64_t>(trip.size()));
    EXPECT_EQ(Index(), 0);
    EXPECT_EQ(File(), "a.m1v");
    shown.clear();
    files.clear();
    for (int i = 0; i < 6; ++i) form->cmdUp_Click();
    EXPECT_EQ(Pictures(), kForwardEnd);
    for (int i = 0; i < 5; ++i) form->cmdDown_Click();
    form->cmdUpE_Click();
    form->cmdDownE_Click();
    // Playback at speed 1 runs over the join both ways.
    form->cmdUpF_Click();
    form->cmdDownF_Click();
    EXPECT_EQ(shown,
              (std::vector<int>{1, 2, 3, 4, 5, 4, 3, 2, 1, 0, 5, 0, 1, 2, 3, 4, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(files, "aabbbbbaaabaaabbbbbaaa");
    Key(Qt::Key_PageUp);
    EXPECT_EQ(desktop.beeps, 2);  // no trip before the first

    form->close();
    EXPECT_EQ(desktop.settings.value("Droskal/Setup/MpegFile"), dir.path());
}

TEST_F(TripWindowTest, FragmentAcrossTheJoinSavesTheBytesOfBothFiles) {
    OpenTrips(Path("a.m1v"));  // a single file behaves as before: a trip of one
    EXPECT_EQ(form->state.fileLength, static_cast<std::int64_t>(a.bytes().size()));
    Key(Qt::Key_PageUp);
    EXPECT_EQ(desktop.beeps, 1);

    desktop.shiftHeld = true;  // Shift with the open button: the folder dialog
    desktop.dialogAnswers.push_back(dir.path());
    form->cmdFile_Click();
    ASSERT_EQ(desktop.dialogs.back().filter, "Otwórz folder z nagraniami");
    EXPECT_EQ(desktop.dialogs.back().initialName, dir.path());
    EXPECT_EQ(form->state.mpegFileName, dir.path());
    Key(Qt::Key_PageUp);

    form->cmdUp_Click();  // picture 2 of a.m1v
    form->cmdCut_Click();
    const std::int64_t cutStart = form->state.picturePos;
    form->cmdUp_Click();
    form->cmdUp_Click();  // picture 1 of b.m1v
    form->cmdCut_Click();
    const std::int64_t cutEnd =
        static_cast<std::int64_t>(a.bytes().size()) + b.pictures()[0].endCodePos;
    ASSERT_EQ(form->state.cutEnd, cutEnd);
    desktop.dialogAnswers.push_back(Path("cut.mpeg"));
    form->cmdSaveCut_Click();
    EXPECT_EQ(test::ReadBytes(Path("cut.mpeg").toStdString()),
              test::Fragment(trip, cutStart, cutEnd));
}

// A disk that fails while a picture is read: the reason in lblFile instead of a silent end,
// and the disk-check question as for a failing open.
struct FailingDisk final : ByteSource {
    std::vector<std::uint8_t> bytes;
    std::int64_t failAt;
    std::int64_t length() const override { return static_cast<std::int64_t>(bytes.size()); }
    std::int64_t read(std::int64_t offset, std::uint8_t* dst, std::int64_t n,
                      std::optional<ReadFailure>& failure) override {
        const std::int64_t end = std::min(offset + n, failAt);
        if (end <= offset) {
            failure = ReadFailure{EIO, "", offset + 1};
            return 0;
        }
        std::copy(bytes.begin() + offset, bytes.begin() + end, dst);
        return end - offset;
    }
};

TEST_F(TripWindowTest, ReadErrorShowsTheSystemsReasonAndOffersTheDiskCheck) {
    OpenTrips(Path("a.m1v"));
    auto disk = std::make_unique<FailingDisk>();
    disk->bytes = a.bytes();
    disk->failAt = a.pictures()[1].slicePos + 10;  // inside the second picture
    form->streamFile.openSource(std::move(disk));
    form->cmdUp_Click();
    EXPECT_EQ(File(), "a.m1v");
    EXPECT_TRUE(desktop.messages.empty());
    form->cmdUp_Click();
    EXPECT_EQ(Pictures(), kForwardEnd);
    EXPECT_EQ(form->lblFile->text(), QString::fromLocal8Bit(std::strerror(EIO)));
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.startsWith("System Windows nie może odczytać"));
    EXPECT_EQ(desktop.messages[0].buttons, Desktop::Buttons::YesNo);
}

// The library window: Ctrl+L shows it, a folder is indexed off the interface thread, its trips
// sort by distance and filter by date, and a double-click opens a trip in the main window at
// its first picture.
TEST_F(TripWindowTest, LibraryListsSortsFiltersAndOpensATrip) {
    desktop.settings["Droskal/Setup/LibraryIndex"] = Path("index.sqlite");
    Start();
    PressKey(form.get(), Qt::Key_L, Qt::ControlModifier);
    ASSERT_NE(form->libraryWindow, nullptr);
    LibraryWindow& w = *form->libraryWindow;
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), "Biblioteka");
    desktop.dialogAnswers.push_back(dir.path());
    w.cmdChoose->click();
    EXPECT_TRUE(QTest::qWaitFor([&w] { return !w.busy() && w.table->rowCount() > 0; }, 20000));
    ASSERT_EQ(w.table->rowCount(), 2) << w.status->text().toStdString();
    EXPECT_TRUE(w.status->text().startsWith("Nagrania: 3, pominięte: 0"))
        << w.status->text().toStdString();
    // The first file of each trip shown, from the top.
    const auto firstFiles = [&w] {
        QStringList names;
        for (int row = 0; row < w.table->rowCount(); ++row) {
            const QStringList files =
                w.table->item(row, LibraryWindow::kStart)->data(Qt::UserRole).toStringList();
            if (!w.table->isRowHidden(row)) names << QFileInfo(files.front()).fileName();
        }
        return names;
    };

    const std::tuple<int, Qt::SortOrder, QStringList> sorts[] = {
        {LibraryWindow::kStart, Qt::DescendingOrder, {"c.m1v", "a.m1v"}},
        {LibraryWindow::kDistance, Qt::DescendingOrder, {"a.m1v", "c.m1v"}},
        {LibraryWindow::kDistance, Qt::AscendingOrder, {"c.m1v", "a.m1v"}},
    };
    for (const auto& [column, order, first] : sorts) {
        w.table->horizontalHeader()->setSortIndicator(column, order);
        EXPECT_EQ(firstFiles(), first) << column;
    }
    const std::tuple<bool, QDate, QDate, QStringList> filters[] = {
        {true, QDate(2006, 3, 31), QDate(2006, 4, 30), {}},
        {true, QDate(2006, 3, 30), QDate(2006, 3, 30), {"c.m1v", "a.m1v"}},
        {true, QDate(2006, 1, 1), QDate(2006, 3, 29), {}},
        {false, QDate(2006, 3, 31), QDate(2006, 4, 30), {"c.m1v", "a.m1v"}},
    };
    for (const auto& [on, from, to, shown] : filters) {
        w.dateFrom->setDate(from);
        w.dateTo->setDate(to);
        w.chkDates->setChecked(on);
        EXPECT_EQ(firstFiles(), shown) << from.toString().toStdString();
    }

    // The double-click on the longer drive (last row) opens it at its first picture.
    const QPoint at = w.table->visualItemRect(w.table->item(1, LibraryWindow::kStart)).center();
    Mouse(w.table->viewport(), at,
          {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
           QEvent::MouseButtonRelease});
    EXPECT_TRUE(form->lblFile->text().endsWith("/a.m1v"));
    EXPECT_EQ(form->state.fileLength,
              static_cast<std::int64_t>(a.bytes().size() + b.bytes().size()));
    EXPECT_EQ(form->state.picturePos, a.pictures().front().picturePos);
    // It is the folder's first trip, so PgDn goes on to the next.
    EXPECT_EQ(form->trips.size(), 2u);
    EXPECT_EQ(form->currentTrip, 0u);
}

}  // namespace
}  // namespace droskal
