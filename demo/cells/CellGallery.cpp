// Shows three tables of description cells, a roomy one with a button held down and two
// narrow ones, and saves the window as a PNG: cells_gallery <file.png>

#include "cells/DescriptionCell.h"
#include "install/Locations.h"

#include <QApplication>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

struct Row
{
    const char* description;
    InstallState state;
    const char* website;
};

const Row rows[] = {
    {"Run the unmodified game", NotDownloadable, ""},
    {"A level with a web page only", UpToDate, "https://levels.example/"},
    {"Downloadable level with a long description that needs eliding", NotInstalled,
     "https://levels.example/"},
    {"Installed level with an update waiting", UpdateAvailable, "https://levels.example/"},
    {"Downloadable level without a web page", NotInstalled, ""},
};

QTableView* makeTable(QStandardItemModel* model, int descriptionWidth)
{
    auto* view = new QTableView;
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setItemDelegateForColumn(1, new DescriptionCell(view));
    view->setColumnWidth(0, 140);
    view->setColumnWidth(1, descriptionWidth);
    return view;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QStandardItemModel model(std::size(rows), 2);
    model.setHorizontalHeaderLabels({"name", "description"});
    for (int i = 0; i < int(std::size(rows)); ++i) {
        model.setItem(i, 0, new QStandardItem(QStringLiteral("Level %1").arg(i)));
        auto* description = new QStandardItem(rows[i].description);
        description->setData(int(rows[i].state), DescriptionCell::InstallStateRole);
        description->setData(QString(rows[i].website), DescriptionCell::WebAddressRole);
        model.setItem(i, 1, description);
    }
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    QTableView* roomy = makeTable(&model, 520);
    QTableView* narrow = makeTable(&model, 230);
    layout->addWidget(roomy);
    layout->addWidget(narrow);
    // Narrower than its buttons: they must stay inside their own column.
    layout->addWidget(makeTable(&model, 70));
    window.resize(720, 640);
    window.show();

    QTimer::singleShot(300, [&] {
        // Hold the mouse down on the "update" button of the fourth row.
        auto* cell = static_cast<DescriptionCell*>(roomy->itemDelegateForColumn(1));
        const QModelIndex index = model.index(3, 1);
        const QRect frame = roomy->visualRect(index);
        const QPoint pos = cell->layout(frame, index, roomy).update.value_or(QRect()).center();
        QMouseEvent press(QEvent::MouseButtonPress, pos, roomy->viewport()->mapToGlobal(pos),
                          Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(roomy->viewport(), &press);
        QTimer::singleShot(300, [&] {
            window.grab().save(QString::fromLocal8Bit(argv[1]));
            app.quit();
        });
    });
    return app.exec();
}
