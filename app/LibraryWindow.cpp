#include "app/LibraryWindow.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTimeZone>
#include <QVBoxLayout>

#include <chrono>
#include <cmath>

#include "library/LibraryScan.h"

namespace droskal {

namespace {

constexpr qint64 kEpoch2000 = 946684800;
constexpr double kGapSeconds = 120;

QDateTime Utc(double secondsSince2000) {
    return QDateTime::fromMSecsSinceEpoch(std::llround(secondsSince2000 * 1000) + kEpoch2000 * 1000,
                                          Qt::UTC);
}

// A cell that sorts by its number, shown with `decimals`; empty without a value.
QTableWidgetItem* NumberItem(std::optional<double> value, int decimals) {
    auto* item = new QTableWidgetItem;
    if (value)
        item->setData(Qt::DisplayRole,
                      std::round(*value * std::pow(10, decimals)) / std::pow(10, decimals));
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QString MegaBytes(std::int64_t bytes) {
    return QString::number(static_cast<double>(bytes) / 1e6, 'f', 0);
}

}  // namespace

LibraryWindow::LibraryWindow(Desktop& desktop, QString indexPath, QWidget* parent)
    : QWidget(parent, Qt::Window), desktop_(desktop), indexPath_(std::move(indexPath)) {
    setWindowTitle("Biblioteka");
    resize(820, 420);
    cmdChoose = new QPushButton("Wybierz folder...", this);
    chkDates = new QCheckBox("Tylko przejazdy od", this);
    dateFrom = new QDateEdit(QDate::currentDate().addMonths(-1), this);
    dateTo = new QDateEdit(QDate::currentDate(), this);
    for (QDateEdit* edit : {dateFrom, dateTo}) {
        edit->setDisplayFormat("yyyy-MM-dd");
        edit->setCalendarPopup(true);
    }
    status = new QLabel("Wybierz folder z nagraniami.", this);
    table = new QTableWidget(0, kColumns, this);
    table->setHorizontalHeaderLabels({"Początek (UTC)", "Koniec (UTC)", "Czas", "Dystans [km]",
                                      "Prędkość maks. [km/h]", "Pliki"});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->setSortingEnabled(true);
    table->sortByColumn(kStart, Qt::AscendingOrder);

    auto* filters = new QHBoxLayout;
    filters->addWidget(cmdChoose);
    filters->addStretch();
    filters->addWidget(chkDates);
    filters->addWidget(dateFrom);
    filters->addWidget(new QLabel("do", this));
    filters->addWidget(dateTo);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(table);
    layout->addWidget(status);

    connect(cmdChoose, &QPushButton::clicked, this, &LibraryWindow::chooseFolder);
    connect(chkDates, &QCheckBox::toggled, this, &LibraryWindow::applyDateFilter);
    connect(dateFrom, &QDateEdit::dateChanged, this, &LibraryWindow::applyDateFilter);
    connect(dateTo, &QDateEdit::dateChanged, this, &LibraryWindow::applyDateFilter);
    connect(table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { openRow(row); });
}

LibraryWindow::~LibraryWindow() {
    stopScan();
}

void LibraryWindow::stopScan() {
    cancelled_ = true;
    if (worker_.joinable()) worker_.join();
    cancelled_ = false;
}

void LibraryWindow::chooseFolder() {
    const QString folder = desktop_.FolderDialog("Biblioteka: folder z nagraniami", folder_);
    if (!folder.isEmpty()) showFolder(folder);
}

void LibraryWindow::showFolder(const QString& folder) {
    stopScan();
    folder_ = folder;
    table->setRowCount(0);
    status->setText("Indeksowanie: " + folder);
    busy_ = true;
    const int generation = ++generation_;
    worker_ = std::thread([this, generation, folder = folder.toStdString(),
                           indexPath = indexPath_.toStdString()] {
        auto post = [this, generation](std::vector<LibraryTrip> trips, QString message, bool done) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, trips = std::move(trips), message, done]() mutable {
                    // A folder chosen since: what the earlier scan found is no longer asked for.
                    if (generation == generation_) showTrips(std::move(trips), message, done);
                },
                Qt::QueuedConnection);
        };
        std::vector<FoundRecording> found;
        std::vector<std::string> roots;
        std::string notice, error;
        LibraryDb db;
        if (!FindRecordings({folder}, found, roots, error) || !db.open(indexPath, notice, error)) {
            post({}, "Błąd: " + QString::fromStdString(error), true);
            return;
        }
        std::vector<std::string> paths;
        for (const auto& f : found) paths.push_back(f.path);
        auto trips = [&] {
            std::vector<LibraryRecording> recordings;
            std::string loadError;
            db.load(paths, recordings, loadError);
            return LibraryTrips(recordings, kGapSeconds);
        };
        auto lastShown = std::chrono::steady_clock::now();
        LibraryUpdate update;
        const bool ok = UpdateLibrary(
            db, found, roots, static_cast<int>(std::max(1u, std::thread::hardware_concurrency())),
            [&](const LibraryProgress& p) {
                // The list grows with the index, every two seconds.
                if (std::chrono::steady_clock::now() - lastShown < std::chrono::seconds(2)) return;
                lastShown = std::chrono::steady_clock::now();
                post(trips(),
                     QString("Indeksowanie: %1 z %2 plików, %3 z %4 MB")
                         .arg(p.filesDone)
                         .arg(p.filesTotal)
                         .arg(MegaBytes(p.bytesDone), MegaBytes(p.bytesTotal)),
                     false);
            },
            update, error, &cancelled_);
        if (cancelled_) return;
        std::vector<LibraryRecording> recordings;
        db.load(paths, recordings, error);
        std::size_t skipped = 0;
        for (const auto& r : recordings) skipped += r.problem.empty() ? 0 : 1;
        QString message =
            ok ? QString("Nagrania: %1, pominięte: %2.").arg(found.size()).arg(skipped)
               : "Błąd indeksu: " + QString::fromStdString(error);
        if (!notice.empty()) message += " Indeks był uszkodzony i został odbudowany.";
        post(LibraryTrips(recordings, kGapSeconds), message, true);
    });
}

void LibraryWindow::showTrips(std::vector<LibraryTrip> trips, QString message, bool done) {
    if (done) {
        if (worker_.joinable()) worker_.join();
        busy_ = false;
    }
    status->setText(message);
    const int sortColumn = table->horizontalHeader()->sortIndicatorSection();
    const Qt::SortOrder order = table->horizontalHeader()->sortIndicatorOrder();
    table->setSortingEnabled(false);
    table->setRowCount(static_cast<int>(trips.size()));
    for (int row = 0; row < static_cast<int>(trips.size()); ++row) {
        const LibraryTrip& t = trips[static_cast<std::size_t>(row)];
        auto* start =
            new QTableWidgetItem(t.start ? Utc(*t.start).toString("yyyy-MM-dd HH:mm:ss") : "-");
        QStringList files;
        for (const auto& f : t.files) files << QString::fromStdString(f);
        start->setData(Qt::UserRole, files);
        start->setData(Qt::UserRole + 1, t.start ? Utc(*t.start).date() : QDate());
        start->setData(Qt::UserRole + 2, t.end ? Utc(*t.end).date() : QDate());
        table->setItem(row, kStart, start);
        table->setItem(
            row, kEnd,
            new QTableWidgetItem(t.end ? Utc(*t.end).toString("yyyy-MM-dd HH:mm:ss") : "-"));
        const long long seconds = t.start ? std::llround(*t.end - *t.start) : 0;
        table->setItem(row, kDuration,
                       new QTableWidgetItem(t.start ? QString("%1:%2:%3")
                                                          .arg(seconds / 3600)
                                                          .arg(seconds / 60 % 60, 2, 10, QChar('0'))
                                                          .arg(seconds % 60, 2, 10, QChar('0'))
                                                    : "-"));
        table->setItem(row, kDistance, NumberItem(t.distanceKm, 3));
        table->setItem(row, kTopSpeed, NumberItem(t.topSpeedKmh, 1));
        table->setItem(row, kFiles, new QTableWidgetItem(files.join(", ")));
    }
    table->setSortingEnabled(true);
    table->sortByColumn(sortColumn, order);
    applyDateFilter();
}

void LibraryWindow::applyDateFilter() {
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem* item = table->item(row, kStart);
        const QDate start = item->data(Qt::UserRole + 1).toDate();
        const QDate end = item->data(Qt::UserRole + 2).toDate();
        // A trip shows when it overlaps the days chosen; a trip without a date only unfiltered.
        const bool shown = !chkDates->isChecked() ||
                           (start.isValid() && end >= dateFrom->date() && start <= dateTo->date());
        table->setRowHidden(row, !shown);
    }
}

void LibraryWindow::openRow(int row) {
    const QTableWidgetItem* item = table->item(row, kStart);
    if (!item || !openTrip) return;
    std::vector<std::string> files;
    for (const QString& f : item->data(Qt::UserRole).toStringList())
        files.push_back(f.toStdString());
    if (!files.empty()) openTrip(files);
}

}  // namespace droskal
