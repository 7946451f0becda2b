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
    void layout()
    {
        QFETCH(QString, buttons);
        m_buttons[2] = buttons;
        const DescriptionCell::Layout parts = layoutOf(2);
        const QRect frame = m_view->visualRect(m_model->index(2, 1));
        // From the right edge leftwards: www, update, install, then the text, with no gaps.
        int right = frame.right();
        const QFontMetrics titles(QApplication::font("QPushButton"));
        for (const auto& [rect, title] :
             {std::pair{parts.www, "www"}, {parts.update, "update"}, {parts.install, "install"}}) {
            QCOMPARE(rect.has_value(), buttons.contains(title));
            if (!rect)
                continue;
            QCOMPARE(*rect,
                     QRect(QPoint(rect->left(), frame.top()), QPoint(right, frame.bottom())));
            QVERIFY2(rect->width() > titles.horizontalAdvance(title), title);
            right = rect->left() - 1;
        }
        QCOMPARE(parts.text, QRect(frame.topLeft(), QPoint(right, frame.bottom())));
    }

    void clearedActionHidesButton()
    {
        const QImage plain = grabCell(2);
        m_buttons[2] = "www";
        QVERIFY(grabCell(2) != plain);
        m_buttons[2] = "";
        QCOMPARE(grabCell(2), plain);
    }

    // The buttons of row 3 are pressed on one part and released where "away" says: "" where
    // pressed, another row, the cell's own text, outside the table, or back where pressed
    // after leaving; or where pressed after the button or the row went away meanwhile.
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
        row("dragged onto another row", "install www", "www", "row", false);
        row("dragged onto its own text", "install www", "www", "text", false);
        row("dragged outside the table", "install www", "www", "outside", false);
        row("dragged out and back in", "install www", "www", "back", true);
        row("button gone meanwhile", "install www", "www", "gone", false);
        row("row removed meanwhile", "install www", "www", "removed", false);
    }
    void click()
    {
        QFETCH(QString, buttons);
        QFETCH(QString, part);
        QFETCH(QString, away);
        QFETCH(bool, sends);
        QWidget* viewport = m_view->viewport();
        m_buttons[3] = m_buttons[4] = buttons;
        m_view->selectRow(0);
        const QPoint pressed = centreOf(3, part);
        const QMap<QString, QPoint> places{{"row", centreOf(1, "text")},
                                           {"text", centreOf(3, "text")},
                                           {"outside", QPoint(viewport->width() + 40, -30)},
                                           {"back", centreOf(1, "text")}};
        QTest::mousePress(viewport, Qt::LeftButton, {}, pressed);
        QTest::mouseMove(viewport, places.value(away, pressed));
        if (away == "gone")
            m_buttons[3] = "install";
        if (away == "removed")
            m_model->removeRow(3);
        const QPoint released = away == "back" ? pressed : places.value(away, pressed);
        QTest::mouseMove(viewport, released);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, released);
        // A press on the row selects it, wherever the mouse goes next.
        if (away != "removed")
            QVERIFY(m_view->selectionModel()->isRowSelected(3));
        const QList<Call> sent{{part.toLatin1(), m_view.get(), 3}};
        QCOMPARE(m_calls, sends ? sent : QList<Call>());
    }

    void pressedLookOnlyWhileInside()
    {
        m_buttons[3] = "install www";
        // A press makes the cell current and focuses the table: only the button may differ.
        m_view->setFocus();
        m_view->setCurrentIndex(m_model->index(3, 1));
        const QImage raised = grabCell(3);
        const QPoint www = centreOf(3, "www");
        QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, www);
        const QImage pressed = grabCell(3);
        QVERIFY2(pressed != raised, "the pressed button looks the same as a raised one");
        QTest::mouseMove(m_view->viewport(), centreOf(3, "text"));
        QCOMPARE(grabCell(3), raised);
        QTest::mouseMove(m_view->viewport(), www);
        QCOMPARE(grabCell(3), pressed);
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, www);
        QCOMPARE(grabCell(3), raised);

        // Another mouse button neither presses the button nor leaves it tracking.
        for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
            QTest::mousePress(m_view->viewport(), button, {}, www);
            QTest::mouseRelease(m_view->viewport(), button, {}, www);
            QCOMPARE(grabCell(3), raised);
        }
        QCOMPARE(m_calls.size(), 1);
    }

    // A double click on a button is the button's: it never reaches the row's double action,
    // which would start the game. On the text it does.
    void doubleClickStaysWithButton()
    {
        m_buttons[3] = "install www";
        int doubled = 0;
        connect(m_view.get(), &QAbstractItemView::doubleClicked, this, [&] { ++doubled; });
        // Through the window system, which sends press, release, press, double click, release.
        const auto doubleClick = [this](const QString& part) {
            QWidget* viewport = m_view->viewport();
            QTest::mouseDClick(m_view->windowHandle(), Qt::LeftButton, {},
                               viewport->mapTo(m_view.get(), centreOf(3, part)));
        };
        doubleClick("www");
        QCOMPARE(doubled, 0);
        QVERIFY(!m_calls.isEmpty());
        QTest::qWait(QTest::mouseDoubleClickInterval + 10);
        doubleClick("text");
        QCOMPARE(doubled, 1);
    }

    // In a column narrower than its button, only the part the column shows can be hit.
    void hitAreaClippedToColumn()
    {
        m_buttons[3] = "www";
        m_view->setColumnWidth(1, 20);
        const QRect frame = m_view->visualRect(m_model->index(3, 1));
        QVERIFY(layoutOf(3).www->left() < frame.left() - 4);
        const QPoint outside(frame.left() - 3, frame.center().y());
        QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, frame.center());
        QTest::mouseMove(m_view->viewport(), outside);
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, outside);
        QVERIFY(m_calls.isEmpty());
    }

    void targetIsNotOwned()
    {
        auto target = std::make_unique<QObject>();
        m_cell->setTarget(target.get());
        QCOMPARE(m_cell->target(), target.get());
        target.reset();
        QCOMPARE(m_cell->target(), nullptr);
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
    QPoint centreOf(int row, const QString& part)
    {
        const auto [text, install, update, www] = layoutOf(row);
        const QMap<QString, std::optional<QRect>> parts{
            {"text", text}, {"install", install}, {"update", update}, {"www", www}};
        return parts.value(part).value_or(QRect()).center();
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
