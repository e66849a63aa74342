// The library window on a real Form1: Ctrl+L shows it, a folder is indexed off the interface
// thread, its trips sort by distance and filter by date, and a double-click opens a trip in
// the main window at its first picture.
#include <QDir>
#include <QHeaderView>
#include <QTest>

#include <gtest/gtest.h>

#include "../core/TestRecordings.h"
#include "Fixture.h"
#include "app/LibraryWindow.h"

namespace droskal {
namespace {

// a.m1v (4 pictures) and b.m1v (4) make one drive, c.m1v (2) another an hour later.
TEST_F(WindowTest, LibraryListsSortsFiltersAndOpensATrip) {
    const RecorderWriter a = test::DriveRecording(320, 4, 1000, true),
                         b = test::DriveRecording(320, 4, 1004, true),
                         c = test::DriveRecording(320, 2, 5000, true);
    QDir(dir.path()).mkpath("drives");
    for (const auto& [name, drive] : {std::pair{"a", &a}, {"b", &b}, {"c", &c}})
        WriteBytes(Path(QString("drives/%1.m1v").arg(name)), drive->bytes());
    desktop.settings["Droskal/Setup/LibraryIndex"] = Path("index.sqlite");
    Start();
    PressKey(form.get(), Qt::Key_L, Qt::ControlModifier);
    ASSERT_NE(form->libraryWindow, nullptr);
    LibraryWindow& w = *form->libraryWindow;
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), "Biblioteka");
    desktop.dialogAnswers.push_back(dir.path());  // the folder above: subfolders count
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
