#pragma once

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/Desktop.h"
#include "library/LibraryTrips.h"

namespace droskal {

// "Biblioteka": the trips of a chosen folder (and its subfolders) from the library index,
// sortable by date, distance and top speed, with a date filter. The index is brought up to
// date on a thread of its own; the list follows it as it grows. A double-click hands the
// trip's files to `openTrip`.
class LibraryWindow : public QWidget {
    Q_OBJECT
  public:
    enum Column { kStart, kEnd, kDuration, kDistance, kTopSpeed, kFiles, kColumns };

    LibraryWindow(Desktop& desktop, QString indexPath, QWidget* parent = nullptr);
    ~LibraryWindow() override;

    std::function<void(const std::vector<std::string>& files)> openTrip;

    // Indexes the folder and lists its trips (the folder button asks for one).
    void showFolder(const QString& folder);
    // True while the index is being brought up to date.
    bool busy() const { return busy_.load(); }

    QTableWidget* table = nullptr;
    QLabel* status = nullptr;
    QPushButton* cmdChoose = nullptr;
    QCheckBox* chkDates = nullptr;
    QDateEdit* dateFrom = nullptr;
    QDateEdit* dateTo = nullptr;

  private:
    void chooseFolder();
    void stopScan();
    // On the interface thread: the trips known so far, `done` when the scan has ended.
    void showTrips(std::vector<LibraryTrip> trips, QString message, bool done);
    void applyDateFilter();
    void openRow(int row);

    Desktop& desktop_;
    QString indexPath_;
    QString folder_;
    std::thread worker_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> busy_{false};
    int generation_ = 0;  // of the scan whose results the list shows
};

}  // namespace droskal
