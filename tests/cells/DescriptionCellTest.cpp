#include "cells/DescriptionCell.h"

#include <QApplication>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include <memory>

// A table whose description column is a DescriptionCell showing all three buttons in row 3
// and none in the others; the test itself is the cell's target, noting each action with its
// sender and the table's selected row on arrival.
class DescriptionCellTest : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE void installButton(QObject* sender) { m_calls.append({"install", sender, row()}); }
    Q_INVOKABLE void updateButton(QObject* sender) { m_calls.append({"update", sender, row()}); }
    Q_INVOKABLE void wwwButton(QObject* sender) { m_calls.append({"www", sender, row()}); }

private slots:
    void init()
    {
        m_calls.clear();
        m_model = std::make_unique<QStandardItemModel>(5, 2);
        m_view = std::make_unique<QTableView>();
        m_view->setModel(m_model.get());
        m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_cell = new DescriptionCell(m_view.get());
        m_cell->setTarget(this);
        m_cell->setWillDisplayCell([](DescriptionCell& cell, const QModelIndex& index) {
            cell.setInstallAction(index.row() == 3 ? "installButton" : "");
            cell.setUpdateAction(index.row() == 3 ? "updateButton" : "");
            cell.setWwwAction(index.row() == 3 ? "wwwButton" : "");
        });
        m_view->setItemDelegateForColumn(1, m_cell);
        m_view->setColumnWidth(1, 420);
        m_view->resize(600, 260);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    // From the right edge leftwards: www, update, install, then the text, with no gaps, each
    // button wide enough for its title. A button without an action takes no room.
    void layout()
    {
        const QRect frame = m_view->visualRect(m_model->index(3, 1));
        m_cell->sizeHint(QStyleOptionViewItem(), m_model->index(3, 1)); // takes on its buttons
        const auto [text, install, update, www] = m_cell->layout(frame, m_view.get());
        const QFontMetrics titles(QApplication::font("QPushButton"));
        int right = frame.right();
        for (const auto& [rect, title] :
             {std::pair{www, "www"}, {update, "update"}, {install, "install"}}) {
            QVERIFY2(rect && rect->width() > titles.horizontalAdvance(title), title);
            QCOMPARE(*rect,
                     QRect(QPoint(rect->left(), frame.top()), QPoint(right, frame.bottom())));
            right = rect->left() - 1;
        }
        QCOMPARE(text, QRect(frame.topLeft(), QPoint(right, frame.bottom())));
        m_cell->setUpdateAction({});
        QCOMPARE(m_cell->layout(frame, m_view.get()).install->right(), www->left() - 1);
    }

    // The left button (or the right one, where "away" names it) pressed on a button of row 3,
    // moved to where "away" says and released there: where pressed, on the next button, or
    // just left of a narrow column. While held, the button looks pressed only if the left
    // button pressed it and the mouse is inside it. Rows painted meanwhile give the cell
    // their own (no) buttons: the release must still find those of row 3.
    void click_data()
    {
        QTest::addColumn<QString>("part");
        QTest::addColumn<QString>("away");
        QTest::addColumn<bool>("sends");
        auto row = [](const char* name, const char* part, const char* away, bool sends) {
            QTest::newRow(name) << QString(part) << QString(away) << sends;
        };
        row("update between install and www", "update", "", true);
        row("right button", "www", "right button", false);
        row("dragged onto the next button", "www", "update", false);
        // Only the part of a button the column shows can be hit.
        row("beside a button wider than its column", "www", "beside", false);
    }
    void click()
    {
        QFETCH(QString, part);
        QFETCH(QString, away);
        QFETCH(bool, sends);
        const Qt::MouseButton mouse = away == "right button" ? Qt::RightButton : Qt::LeftButton;
        QWidget* viewport = m_view->viewport();
        // Paints every row: the cell is left with the last one's buttons, none.
        const auto grabTable = [&] { return viewport->grab().toImage(); };
        m_view->setColumnWidth(1, away == "beside" ? 20 : 420);
        // A press makes the cell current and focuses the table: only the button may differ.
        m_view->setFocus();
        m_view->setCurrentIndex(m_model->index(3, 1));
        const QImage raised = grabTable();
        m_view->selectRow(0);
        const QPoint pressed = centreOf(part);
        const QMap<QString, QPoint> places{
            {"update", centreOf("update")},
            {"beside", QPoint(m_view->visualRect(m_model->index(3, 1)).left() - 3, pressed.y())}};
        const QPoint released = places.value(away, pressed);
        QTest::mousePress(viewport, mouse, {}, pressed);
        QTest::mouseMove(viewport, released);
        QCOMPARE(grabTable() != raised, released == pressed && mouse == Qt::LeftButton);
        QTest::mouseRelease(viewport, mouse, {}, released);
        // A press on the row selects it, wherever the mouse goes next.
        QVERIFY(m_view->selectionModel()->isRowSelected(3));
        const QList<Call> sent{{part.toLatin1(), m_view.get(), 3}};
        QCOMPARE(m_calls, sends ? sent : QList<Call>());
        QVERIFY(grabTable() == raised);
    }

    // A double click on a button is the button's: it never reaches the row's double action,
    // which would start the game. On the text it does.
    void doubleClickStaysWithButton()
    {
        int doubled = 0;
        connect(m_view.get(), &QAbstractItemView::doubleClicked, this, [&] { ++doubled; });
        // Through the window system, which sends press, release, press, double click, release.
        for (const char* part : {"www", "text"}) {
            QTest::mouseDClick(m_view->windowHandle(), Qt::LeftButton, {},
                               m_view->viewport()->mapTo(m_view.get(), centreOf(part)));
            QCOMPARE(doubled, part == QByteArray("text") ? 1 : 0);
            QTest::qWait(QTest::mouseDoubleClickInterval + 10);
        }
        QVERIFY(!m_calls.isEmpty());
    }

private:
    using Call = std::tuple<QByteArray, QObject*, int>;

    // The table's selected row as an action arrives; -1 for none.
    int row() const { return m_view->selectionModel()->selectedRows().value(0).row(); }
    // The centre of the part of row 3's cell that its column shows.
    QPoint centreOf(const QString& part) const
    {
        const QRect frame = m_view->visualRect(m_model->index(3, 1));
        m_cell->sizeHint(QStyleOptionViewItem(), m_model->index(3, 1)); // takes on its buttons
        const auto [text, install, update, www] = m_cell->layout(frame, m_view.get());
        const QMap<QString, std::optional<QRect>> parts{
            {"text", text}, {"update", update}, {"www", www}};
        return parts.value(part).value_or(QRect()).intersected(frame).center();
    }

    QList<Call> m_calls;
    std::unique_ptr<QStandardItemModel> m_model;
    std::unique_ptr<QTableView> m_view;
    DescriptionCell* m_cell = nullptr;
};

QTEST_MAIN(DescriptionCellTest)
#include "DescriptionCellTest.moc"
