#include "cells/DescriptionCell.h"

#include <QApplication>
#include <QSignalSpy>
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
    Q_INVOKABLE void installButton(QObject* sender) { note("install", sender); }
    Q_INVOKABLE void updateButton(QObject* sender) { note("update", sender); }
    Q_INVOKABLE void wwwButton(QObject* sender) { note("www", sender); }

private slots:
    void init()
    {
        m_view.reset();
        m_calls.clear();
        m_buttons = QStringList(5);
        m_model = std::make_unique<QStandardItemModel>(5, 2);
        for (int row = 0; row < 5; ++row)
            m_model->setItem(row, 1, new QStandardItem(QStringLiteral("Level %1 text").arg(row)));
        m_view = std::make_unique<QTableView>();
        m_view->setModel(m_model.get());
        m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_view->setSelectionMode(QAbstractItemView::SingleSelection);
        m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
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
        QTest::newRow("no action") << "";
        QTest::newRow("www alone") << "www";
        QTest::newRow("install and www") << "install www";
        QTest::newRow("update and www") << "update www";
        QTest::newRow("install alone") << "install";
        QTest::newRow("all three") << "install update www";
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
        const QRect www =
            layoutOf(2).www->translated(-m_view->visualRect(m_model->index(2, 1)).topLeft());
        QVERIFY(grabCell(2).copy(www) != plain.copy(www));
        m_buttons[2] = "";
        QCOMPARE(grabCell(2), plain);
    }

    void click_data()
    {
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<QString>("part");
        QTest::newRow("install beside www") << "install www"
                                            << "install";
        QTest::newRow("update beside www") << "update www"
                                           << "update";
        QTest::newRow("www beside install") << "install www"
                                            << "www";
        QTest::newRow("install alone") << "install"
                                       << "install";
        QTest::newRow("the text") << "install www"
                                  << "text";
    }
    void click()
    {
        QFETCH(QString, buttons);
        QFETCH(QString, part);
        m_buttons[3] = buttons;
        m_view->selectRow(0);
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, centreOf(3, part));
        QCOMPARE(m_view->selectionModel()->selectedRows(), QModelIndexList{m_model->index(3, 0)});
        const QList<Call> sent{{part.toLatin1(), m_view.get(), 3}};
        QCOMPARE(m_calls, part == "text" ? QList<Call>() : sent);
    }

    void releaseAway_data()
    {
        QTest::addColumn<QString>("away");
        QTest::addColumn<int>("actions");
        QTest::newRow("onto another row") << "row" << 0;
        QTest::newRow("onto the cell's own text") << "text" << 0;
        QTest::newRow("onto another column") << "column" << 0;
        QTest::newRow("outside the table") << "outside" << 0;
        QTest::newRow("out and back in") << "back" << 1;
        QTest::newRow("button gone meanwhile") << "gone" << 0;
        QTest::newRow("row removed meanwhile") << "removed" << 0;
    }
    void releaseAway()
    {
        QFETCH(QString, away);
        QFETCH(int, actions);
        QWidget* viewport = m_view->viewport();
        m_buttons[3] = m_buttons[4] = "install www";
        // A press makes the cell current and focuses the table: only the button may differ.
        m_view->setFocus();
        m_view->setCurrentIndex(m_model->index(3, 1));
        const QImage raised = grabCell(3);
        const QImage otherRow = grabCell(4);
        const QPoint button = centreOf(3, "www");
        const QMap<QString, QPoint> places{
            {"row", m_view->visualRect(m_model->index(1, 1)).center()},
            {"text", centreOf(3, "text")},
            {"column", m_view->visualRect(m_model->index(3, 0)).center()},
            {"outside", QPoint(viewport->width() + 40, -30)}};

        QTest::mousePress(viewport, Qt::LeftButton, {}, button);
        QVERIFY2(grabCell(3) != raised, "the pressed button looks the same as a raised one");
        QCOMPARE(grabCell(4), otherRow);
        QTest::mouseMove(viewport, places.value(away, places["row"]));
        QCOMPARE(grabCell(3), raised);
        if (!places.contains(away))
            QTest::mouseMove(viewport, button);
        if (away == "gone")
            m_buttons[3] = "install";
        if (away == "removed")
            m_model->removeRow(3);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, places.value(away, button));
        QCOMPARE(m_calls.size(), actions);
        if (away != "removed" && away != "gone")
            QCOMPARE(grabCell(3), raised);
    }

    void doubleClick_data()
    {
        QTest::addColumn<QString>("part");
        QTest::addColumn<int>("actions");
        QTest::addColumn<int>("doubleClicks");
        QTest::newRow("on a button") << "update" << 2 << 0;
        QTest::newRow("on the text") << "text" << 0 << 1;
    }
    void doubleClick()
    {
        QFETCH(QString, part);
        QFETCH(int, actions);
        QFETCH(int, doubleClicks);
        m_buttons[1] = "update www";
        QSignalSpy doubleClicked(m_view.get(), &QAbstractItemView::doubleClicked);
        const QPoint pos = centreOf(1, part);
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, pos);
        QTest::mousePress(m_view->viewport(), Qt::LeftButton, {}, pos);
        QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, pos);
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, pos);
        QCOMPARE(m_calls.size(), actions);
        QCOMPARE(doubleClicked.size(), doubleClicks);
    }

    void targetIsNotOwned()
    {
        auto* target = new QObject;
        m_cell->setTarget(target);
        QCOMPARE(m_cell->target(), target);
        delete target;
        QCOMPARE(m_cell->target(), nullptr);
        m_buttons[0] = "www";
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, centreOf(0, "www"));
        QVERIFY(m_view->selectionModel()->isRowSelected(0));
    }

private:
    using Call = std::tuple<QByteArray, QObject*, int>;

    void note(const QByteArray& button, QObject* sender)
    {
        const auto rows = qobject_cast<QTableView*>(sender)->selectionModel()->selectedRows();
        m_calls.append({button, sender, rows.size() == 1 ? rows.first().row() : -1});
    }
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
        const auto parts = layoutOf(row);
        const auto rect = part == "install"  ? parts.install
                          : part == "update" ? parts.update
                          : part == "www"    ? parts.www
                                             : std::optional(parts.text);
        return rect.value_or(QRect()).center();
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
