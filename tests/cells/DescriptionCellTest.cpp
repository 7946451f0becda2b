#include "cells/DescriptionCell.h"

#include <QApplication>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include <memory>

// A table whose description column is a DescriptionCell; the test itself is the cell's
// target, noting each action with its sender and the table's selected row on arrival.
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
        m_buttons = QStringList(5);
        m_model = std::make_unique<QStandardItemModel>(5, 2);
        for (int row = 0; row < 5; ++row)
            m_model->setItem(row, 1, new QStandardItem(QStringLiteral("Level %1 text").arg(row)));
        m_view = std::make_unique<QTableView>();
        m_view->setModel(m_model.get());
        m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_cell = new DescriptionCell(m_view.get());
        m_cell->setTarget(this);
        m_cell->setWillDisplayCell([this](DescriptionCell& cell, const QModelIndex& index) {
            configure(cell, index.row());
        });
        m_view->setItemDelegateForColumn(1, m_cell);
        m_view->setColumnWidth(1, 420);
        m_view->resize(600, 260);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    void layout_data()
    {
        QTest::addColumn<QString>("buttons");
        for (const char* buttons : {"", "www", "install www", "update www", "install"})
            QTest::newRow(*buttons ? buttons : "none") << buttons;
    }
    // From the right edge leftwards: www, update, install, then the text, with no gaps, each
    // button wide enough for its title.
    void layout()
    {
        QFETCH(QString, buttons);
        m_buttons[2] = buttons;
        const auto [text, install, update, www] = layoutOf(2);
        const QRect frame = m_view->visualRect(m_model->index(2, 1));
        const QFontMetrics titles(QApplication::font("QPushButton"));
        int right = frame.right();
        for (const auto& [rect, title] :
             {std::pair{www, "www"}, {update, "update"}, {install, "install"}}) {
            QCOMPARE(rect.has_value(), buttons.contains(title));
            if (!rect)
                continue;
            QCOMPARE(*rect,
                     QRect(QPoint(rect->left(), frame.top()), QPoint(right, frame.bottom())));
            QVERIFY2(rect->width() > titles.horizontalAdvance(title), title);
            right = rect->left() - 1;
        }
        QCOMPARE(text, QRect(frame.topLeft(), QPoint(right, frame.bottom())));
    }

    // The left button (or another one, where "away" names it) pressed on a part of row 3,
    // moved to where "away" says and released there: where pressed, another row, the cell's
    // own text, its install button, outside the table, just left of a narrow column, or back
    // where pressed after leaving; or where pressed after the button or the row went away
    // meanwhile. While held, the button looks pressed only if the left button pressed it and
    // the mouse is inside it.
    void click_data()
    {
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<QString>("part");
        QTest::addColumn<QString>("away");
        QTest::addColumn<bool>("sends");
        auto row = [](const char* name, const char* buttons, const char* part, const char* away,
                      bool sends) {
            QTest::newRow(name) << buttons << part << away << sends;
        };
        row("update beside www", "update www", "update", "", true);
        row("www beside install", "install www", "www", "", true);
        row("the text selects only", "install www", "text", "", false);
        row("right button", "install www", "www", "right button", false);
        row("middle button", "install www", "www", "middle button", false);
        row("dragged onto another row", "install www", "www", "row", false);
        row("dragged onto its own text", "install www", "www", "text", false);
        row("dragged onto the next button", "install www", "www", "install", false);
        row("dragged outside the table", "install www", "www", "outside", false);
        row("dragged out and back in", "install www", "www", "back", true);
        row("button gone meanwhile", "install www", "www", "gone", false);
        row("row removed meanwhile", "install www", "www", "removed", false);
        // Only the part of a button the column shows can be hit.
        row("beside a button wider than its column", "www", "www", "beside", false);
    }
    void click()
    {
        QFETCH(QString, buttons);
        QFETCH(QString, part);
        QFETCH(QString, away);
        QFETCH(bool, sends);
        const Qt::MouseButton mouse = away == "right button"    ? Qt::RightButton
                                      : away == "middle button" ? Qt::MiddleButton
                                                                : Qt::LeftButton;
        QWidget* viewport = m_view->viewport();
        m_buttons[3] = m_buttons[4] = buttons;
        m_view->setColumnWidth(1, away == "beside" ? 20 : 420);
        // A press makes the cell current and focuses the table: only the button may differ.
        m_view->setFocus();
        m_view->setCurrentIndex(m_model->index(3, 1));
        const QImage raised = grabCell(3);
        m_view->selectRow(0);
        const QPoint pressed = centreOf(3, part);
        const QMap<QString, QPoint> places{
            {"row", centreOf(1, "text")},
            {"text", centreOf(3, "text")},
            {"install", centreOf(3, "install")},
            {"outside", QPoint(viewport->width() + 40, -30)},
            {"beside", QPoint(m_view->visualRect(m_model->index(3, 1)).left() - 3, pressed.y())},
            {"back", centreOf(1, "text")}};
        QTest::mousePress(viewport, mouse, {}, pressed);
        QTest::mouseMove(viewport, places.value(away, pressed));
        if (away == "gone")
            m_buttons[3] = "install";
        if (away == "removed")
            m_model->removeRow(3);
        const QPoint released = away == "back" ? pressed : places.value(away, pressed);
        QTest::mouseMove(viewport, released);
        if (part != "text" && away != "gone" && away != "removed")
            QCOMPARE(grabCell(3) != raised, released == pressed && mouse == Qt::LeftButton);
        QTest::mouseRelease(viewport, mouse, {}, released);
        // A press on the row selects it, wherever the mouse goes next.
        QVERIFY(away == "removed" || m_view->selectionModel()->isRowSelected(3));
        const QList<Call> sent{{part.toLatin1(), m_view.get(), 3}};
        QCOMPARE(m_calls, sends ? sent : QList<Call>());
        QVERIFY(away == "removed" || away == "gone" || grabCell(3) == raised);
    }

    // A double click on a button is the button's: it never reaches the row's double action,
    // which would start the game. On the text it does.
    void doubleClickStaysWithButton()
    {
        m_buttons[3] = "install www";
        int doubled = 0;
        connect(m_view.get(), &QAbstractItemView::doubleClicked, this, [&] { ++doubled; });
        // Through the window system, which sends press, release, press, double click, release.
        for (const char* part : {"www", "text"}) {
            QTest::mouseDClick(m_view->windowHandle(), Qt::LeftButton, {},
                               m_view->viewport()->mapTo(m_view.get(), centreOf(3, part)));
            QCOMPARE(doubled, part == QByteArray("text") ? 1 : 0);
            QTest::qWait(QTest::mouseDoubleClickInterval + 10);
        }
        QVERIFY(!m_calls.isEmpty());
    }

private:
    using Call = std::tuple<QByteArray, QObject*, int>;

    // The table's selected row as an action arrives; -1 for none.
    int row() const { return m_view->selectionModel()->selectedRows().value(0).row(); }
    // A row's buttons are named in a word list such as "install www".
    void configure(DescriptionCell& cell, int row)
    {
        cell.setInstallAction(m_buttons[row].contains("install") ? "installButton" : "");
        cell.setUpdateAction(m_buttons[row].contains("update") ? "updateButton" : "");
        cell.setWwwAction(m_buttons[row].contains("www") ? "wwwButton" : "");
    }
    DescriptionCell::Layout layoutOf(int row)
    {
        configure(*m_cell, row);
        return m_cell->layout(m_view->visualRect(m_model->index(row, 1)), m_view.get());
    }
    // The centre of the part of a cell that its column shows.
    QPoint centreOf(int row, const QString& part)
    {
        const auto [text, install, update, www] = layoutOf(row);
        const QMap<QString, std::optional<QRect>> parts{
            {"text", text}, {"install", install}, {"update", update}, {"www", www}};
        return parts.value(part)
            .value_or(QRect())
            .intersected(m_view->visualRect(m_model->index(row, 1)))
            .center();
    }
    QImage grabCell(int row) const
    {
        return m_view->viewport()->grab(m_view->visualRect(m_model->index(row, 1))).toImage();
    }

    QList<Call> m_calls;
    QStringList m_buttons;
    std::unique_ptr<QStandardItemModel> m_model;
    std::unique_ptr<QTableView> m_view;
    DescriptionCell* m_cell = nullptr;
};

QTEST_MAIN(DescriptionCellTest)
#include "DescriptionCellTest.moc"
