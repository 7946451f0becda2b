#include "cells/DescriptionCell.h"

#include "install/Locations.h"

#include <QApplication>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include <memory>

// A table whose description column is a DescriptionCell, over a model whose rows answer the
// cell's roles: row 0 none at all, then up to date with a web page, not installed, not
// installed with a web page, an update with a web page, not downloadable.
class DescriptionCellTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_model = std::make_unique<QStandardItemModel>(6, 2);
        const std::pair<QVariant, const char*> rows[] = {{{}, ""},
                                                         {UpToDate, "https://up.example/"},
                                                         {NotInstalled, ""},
                                                         {NotInstalled, "https://new.example/"},
                                                         {UpdateAvailable, "https://old.example/"},
                                                         {NotDownloadable, ""}};
        for (int row = 0; row < int(std::size(rows)); ++row) {
            const QModelIndex index = m_model->index(row, 1);
            m_model->setData(index, QStringLiteral("Level %1").arg(row));
            if (rows[row].first.isValid())
                m_model->setData(index, rows[row].first.toInt(), DescriptionCell::InstallStateRole);
            m_model->setData(index, QString(rows[row].second), DescriptionCell::WebAddressRole);
        }
        m_view = std::make_unique<QTableView>();
        m_view->setModel(m_model.get());
        m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_cell = new DescriptionCell(m_view.get());
        m_view->setItemDelegateForColumn(1, m_cell);
        m_view->setColumnWidth(1, 420);
        m_view->resize(600, 260);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    // From the right edge leftwards: www, update, install, then the text, with no gaps, each
    // button wide enough for its title. A button the row does not show takes no room.
    void layout_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("shown"); // left to right
        QTest::newRow("no install state") << 0 << "";
        QTest::newRow("up to date, web page") << 1 << "www";
        QTest::newRow("not installed") << 2 << "install";
        QTest::newRow("not installed, web page") << 3 << "install www";
        QTest::newRow("update, web page") << 4 << "update www";
        QTest::newRow("not downloadable") << 5 << "";
    }
    void layout()
    {
        QFETCH(int, row);
        QFETCH(QString, shown);
        const QModelIndex index = m_model->index(row, 1);
        const QRect frame = m_view->visualRect(index);
        const auto [text, install, update, www] = m_cell->layout(frame, index, m_view.get());
        const QFontMetrics titles(QApplication::font("QPushButton"));
        QStringList seen;
        int right = frame.right();
        for (const auto& [rect, title] :
             {std::pair{www, "www"}, {update, "update"}, {install, "install"}}) {
            if (!rect)
                continue;
            seen.prepend(title);
            QVERIFY2(rect->width() > titles.horizontalAdvance(title), title);
            QCOMPARE(*rect,
                     QRect(QPoint(rect->left(), frame.top()), QPoint(right, frame.bottom())));
            right = rect->left() - 1;
        }
        QCOMPARE(seen.join(' '), shown);
        QCOMPARE(text, QRect(frame.topLeft(), QPoint(right, frame.bottom())));
        // Install and Update are as wide as each other: a row's button keeps its place when
        // one turns into the other.
        if (update)
            QCOMPARE(update->width(),
                     m_cell->layout(frame, m_model->index(3, 1), m_view.get()).install->width());
    }

    // The left button (or the right one, where "away" names it) pressed on a button of the
    // row, moved to where "away" says and released there: where pressed, on the next button,
    // or just left of a narrow column. While held, the button looks pressed only if the left
    // button pressed it and the mouse is inside it.
    void click_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("part");
        QTest::addColumn<QString>("away");
        QTest::addColumn<bool>("sends");
        auto row = [](const char* name, int at, const char* part, const char* away, bool sends) {
            QTest::newRow(name) << at << QString(part) << QString(away) << sends;
        };
        row("install", 3, "install", "", true);
        row("update", 4, "update", "", true);
        row("www", 4, "www", "", true);
        row("right button", 4, "www", "right button", false);
        row("dragged onto the next button", 4, "www", "update", false);
        // Only the part of a button the column shows can be hit.
        row("beside a button wider than its column", 4, "www", "beside", false);
    }
    void click()
    {
        QFETCH(int, row);
        QFETCH(QString, part);
        QFETCH(QString, away);
        QFETCH(bool, sends);
        const Qt::MouseButton mouse = away == "right button" ? Qt::RightButton : Qt::LeftButton;
        QWidget* viewport = m_view->viewport();
        m_view->setColumnWidth(1, away == "beside" ? 20 : 420);
        // A press makes the cell current and focuses the table: only the button may differ.
        m_view->setFocus();
        m_view->setCurrentIndex(m_model->index(row, 1));
        const QImage raised = viewport->grab().toImage();
        m_view->selectRow(0);
        const QPoint pressed = centreOf(part, row);
        const QMap<QString, QPoint> places{
            {"update", centreOf("update", row)},
            {"beside", QPoint(m_view->visualRect(m_model->index(row, 1)).left() - 3, pressed.y())}};
        const QPoint released = places.value(away, pressed);
        QSignalSpy clicks(m_cell, &DescriptionCell::buttonClicked);
        QTest::mousePress(viewport, mouse, {}, pressed);
        QTest::mouseMove(viewport, released);
        QCOMPARE(viewport->grab().toImage() != raised,
                 released == pressed && mouse == Qt::LeftButton);
        QTest::mouseRelease(viewport, mouse, {}, released);
        // A press on the row selects it, wherever the mouse goes next.
        QVERIFY(m_view->selectionModel()->isRowSelected(row));
        QCOMPARE(clicks.size(), sends ? 1 : 0);
        // The buttons' kinds in the order they are declared.
        if (sends)
            QVERIFY(clicks[0][0].toModelIndex() == m_model->index(row, 1) &&
                    int(clicks[0][1].value<DescriptionCell::Button>()) ==
                        QStringList({"install", "update", "www"}).indexOf(part));
        QVERIFY(viewport->grab().toImage() == raised);
    }

    // A double click on a button is the button's: it never reaches the row's double action,
    // which would start the game. On the text it does.
    void doubleClickStaysWithButton()
    {
        int doubled = 0;
        connect(m_view.get(), &QAbstractItemView::doubleClicked, this, [&] { ++doubled; });
        QSignalSpy clicks(m_cell, &DescriptionCell::buttonClicked);
        // Through the window system, which sends press, release, press, double click, release.
        for (const char* part : {"www", "text"}) {
            QTest::mouseDClick(m_view->windowHandle(), Qt::LeftButton, {},
                               m_view->viewport()->mapTo(m_view.get(), centreOf(part, 4)));
            QCOMPARE(doubled, part == QByteArray("text") ? 1 : 0);
            QTest::qWait(QTest::mouseDoubleClickInterval + 10);
        }
        QVERIFY(!clicks.isEmpty());
    }

private:
    // The centre of the part of the row's cell that its column shows.
    QPoint centreOf(const QString& part, int row) const
    {
        const QModelIndex index = m_model->index(row, 1);
        const QRect frame = m_view->visualRect(index);
        const auto [text, install, update, www] = m_cell->layout(frame, index, m_view.get());
        const QMap<QString, std::optional<QRect>> parts{
            {"text", text}, {"install", install}, {"update", update}, {"www", www}};
        return parts.value(part).value_or(QRect()).intersected(frame).center();
    }

    std::unique_ptr<QStandardItemModel> m_model;
    std::unique_ptr<QTableView> m_view;
    DescriptionCell* m_cell = nullptr;
};

QTEST_MAIN(DescriptionCellTest)
#include "DescriptionCellTest.moc"
