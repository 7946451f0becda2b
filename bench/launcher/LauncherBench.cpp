// The launcher's window at the scale of a long-lived install, in the home the environment
// names. Usage: bench_launcher start | sort
//   start: builds the window as the program does and exits once the level table has been
//          painted with its rows, so the process's run time is start-up to a filled table.
//   sort:  then clicks through the column headers, re-sorting and repainting every row the
//          table shows, and prints "sort <s>": the slowest of the clicks.

#include "launcher/Launcher.h"
#include "launcher/LevelTableModel.h"
#include "launcher/WindowDefinition.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMainWindow>
#include <QTableView>

#include <cstdio>

namespace {

// Ends the event loop at the table's first paint with rows in it.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QTableView* table) : m_table(table) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_table->model()->rowCount() > 0)
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return false;
    }

private:
    QTableView* m_table;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray("start");
    WindowDefinition definition;
    definition.load();
    definition.window()->show();
    QTableView* table = definition.launcher()->levelTable();
    FirstPaint firstPaint(table);
    table->viewport()->installEventFilter(&firstPaint);
    app.exec();
    table->viewport()->removeEventFilter(&firstPaint);
    if (mode != "sort")
        return table->model()->rowCount() > 0 ? 0 : 1;

    // Each click as the header makes it: a new sort indicator, then the repaint it causes.
    double slowest = 0;
    const int columns = table->model()->columnCount();
    for (int round = 0; round < 3; ++round) {
        for (int column = 0; column < columns; ++column) {
            QElapsedTimer timer;
            timer.start();
            table->horizontalHeader()->setSortIndicator(
                column, round % 2 == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
            table->viewport()->repaint();
            slowest = qMax(slowest, timer.nsecsElapsed() / 1e9);
        }
    }
    std::printf("sort %.4f\n", slowest);
    return 0;
}
