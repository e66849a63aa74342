#include "app/KeyList.h"

#include <QAction>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/Actions.h"

namespace droskal {

QWidget* MakeKeyList(QWidget* owner) {
    auto* window = new QWidget(owner, Qt::Window);
    window->setObjectName("keyList");
    window->setWindowTitle("Droskal – klawisze i mysz");
    auto* table = new QTableWidget(window);
    table->setObjectName("keyTable");
    table->setColumnCount(2);
    table->setHorizontalHeaderLabels({"Klawisz", "Działanie"});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto addRow = [table](const QString& what, const QString& label) {
        const int row = table->rowCount();
        table->insertRow(row);
        table->setItem(row, 0, new QTableWidgetItem(what));
        table->setItem(row, 1, new QTableWidgetItem(label));
    };
    for (const Action& action : Actions()) addRow(KeysText(action), action.label);
    for (const MouseAction& mouse : MouseActions()) addRow(mouse.what, mouse.label);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(table);
    window->resize(760, 640);

    auto* close = new QAction(window);
    close->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_F1)});
    QObject::connect(close, &QAction::triggered, window, &QWidget::close);
    window->addAction(close);
    return window;
}

}  // namespace droskal
