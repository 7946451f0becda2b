// The launcher's window at the scale of a long-lived install, in the home the environment
// names. Usage: bench_launcher start | sort | filter
//   start: builds the window as the program does and exits once the level table has been
//          painted with its rows, so the process's run time is start-up to a filled table.
//   sort:  then clicks each column header, re-sorting the catalogue and repainting the rows
//          the table shows, and prints "sort <s>": the time of the slowest column's click.
//   filter: then types a text into the filter field one character at a time, as keystrokes
//          change it, and prints "filter <s>": the slowest keystroke's filtering and repaint,
//          after "filter-first <s>": the first keystroke right after the table's first paint,
//          which folds the rows' texts that idle time has not folded yet.
//   filter-idle: the same after a person's reaction time (300 ms) of idle window, as when
//          someone starts typing into a window that has just come up.

#include "launcher/Launcher.h"
#include "launcher/LevelTableModel.h"
#include "launcher/WindowDefinition.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QTableView>
#include <QTimer>

#include <cstdio>

namespace {

// Ends the event loop at the table's first paint with rows in it, and counts the paints.
class PaintWatch : public QObject
{
public:
    PaintWatch(QTableView* table, QEventLoop& loop) : m_table(table), m_loop(loop) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::Paint || m_table->model()->rowCount() == 0)
            return false;
        if (m_paints++ == 0)
            QMetaObject::invokeMethod(&m_loop, &QEventLoop::quit, Qt::QueuedConnection);
        return false;
    }
    int paints() const { return m_paints; }

private:
    QTableView* m_table;
    QEventLoop& m_loop;
    int m_paints = 0;
};

// Grows the filter text a character at a time and takes it back again; each step is the best
// of four, so that a busy machine does not count.
int filterKeystrokes(WindowDefinition& definition, QTableView* table)
{
    auto* field = definition.window()->findChild<QLineEdit*>(QStringLiteral("levelFilter"));
    if (!field)
        return 1;
    const QString text = QStringLiteral("level 12");
    QStringList steps;
    for (qsizetype length = 1; length <= text.size(); ++length)
        steps.append(text.left(length));
    for (qsizetype length = text.size() - 1; length >= 0; --length)
        steps.append(text.left(length));
    // The first keystroke after a reload also folds the rows' texts idle time has not reached.
    QElapsedTimer first;
    first.start();
    field->setText(steps.first());
    table->viewport()->repaint();
    std::printf("filter-first %.4f\n", first.nsecsElapsed() / 1e9);
    double slowest = 0;
    for (const QString& step : steps) {
        double best = 1e9;
        for (int round = 0; round < 4; ++round) {
            field->setText(round % 2 == 0 ? step : step + u'#');
            QElapsedTimer timer;
            timer.start();
            field->setText(step);
            table->viewport()->repaint();
            best = qMin(best, timer.nsecsElapsed() / 1e9);
        }
        slowest = qMax(slowest, best);
    }
    std::printf("filter %.4f\n", slowest);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray("start");
    WindowDefinition definition;
    definition.load();
    definition.window()->show();
    QTableView* table = definition.launcher()->levelTable();
    // Not the application's loop: quitting that would close the window.
    QEventLoop loop;
    PaintWatch watch(table, loop);
    table->viewport()->installEventFilter(&watch);
    loop.exec();
    if (mode == "filter-idle") {
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (mode.startsWith("filter"))
        return filterKeystrokes(definition, table);
    if (mode != "sort")
        return table->model()->rowCount() > 0 ? 0 : 1;

    // Each click as the header makes it: a new sort indicator, then the repaint it causes.
    // A column's figure is its best of four clicks, so that a busy machine does not count.
    double slowest = 0;
    const int columns = table->model()->columnCount();
    for (int column = 0; column < columns; ++column) {
        double best = 1e9;
        for (int round = 0; round < 4; ++round) {
            const int paints = watch.paints();
            QElapsedTimer timer;
            timer.start();
            table->horizontalHeader()->setSortIndicator(
                column, round % 2 == 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
            table->viewport()->repaint();
            best = qMin(best, timer.nsecsElapsed() / 1e9);
            if (watch.paints() == paints)
                return 1;
        }
        slowest = qMax(slowest, best);
    }
    std::printf("sort %.4f\n", slowest);
    return 0;
}
