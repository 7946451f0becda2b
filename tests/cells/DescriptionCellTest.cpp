#include "cells/DescriptionCell.h"

#include <QApplication>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include <memory>

// Receives the cell's actions as the launcher's controllers do, noting the table's selected
// row at the moment each one arrives.
class ActionTarget : public QObject
{
    Q_OBJECT
public:
    struct Call
    {
        QByteArray action;
        QObject* sender;
        int selectedRow;
    };
    QList<Call> calls;

public slots:
    void installButton(QObject* sender) { note("installButton", sender); }
    void updateButton(QObject* sender) { note("updateButton", sender); }
    void wwwButton(QObject* sender) { note("wwwButton", sender); }

private:
    void note(const QByteArray& action, QObject* sender)
    {
        auto* view = qobject_cast<QTableView*>(sender);
        const QModelIndexList rows = view->selectionModel()->selectedRows();
        calls.append({action, sender, rows.size() == 1 ? rows.first().row() : -1});
    }
};

struct RowActions
{
    bool install = false;
    bool update = false;
    bool www = false;
};
Q_DECLARE_METATYPE(RowActions)

class DescriptionCellTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void layout_data();
    void layout();
    void clearedActionHidesButton();
    void click_data();
    void click();
    void releaseAway_data();
    void releaseAway();
    void textClickSelectsRowOnly();
    void doubleClick_data();
    void doubleClick();
    void targetIsNotOwned();

private:
    void willDisplayCell(DescriptionCell& cell, const QModelIndex& index);
    QModelIndex cellIndex(int row) const { return m_model->index(row, 1); }
    QRect buttonRect(int row, const QByteArray& action);
    QRect textRect(int row);
    QImage grabCell(int row) const;
    void selectRow(int row) { m_view->selectRow(row); }
    QWidget* viewport() const { return m_view->viewport(); }

    std::unique_ptr<QStandardItemModel> m_model;
    std::unique_ptr<QTableView> m_view;
    std::unique_ptr<ActionTarget> m_target;
    DescriptionCell* m_cell = nullptr;
    QList<RowActions> m_actions;
};

void DescriptionCellTest::init()
{
    m_model = std::make_unique<QStandardItemModel>(5, 2);
    for (int row = 0; row < 5; ++row) {
        m_model->setItem(row, 0, new QStandardItem(QStringLiteral("Level %1").arg(row)));
        m_model->setItem(row, 1,
                         new QStandardItem(QStringLiteral("The description of level %1").arg(row)));
    }
    m_actions = QList<RowActions>(5);
    m_target = std::make_unique<ActionTarget>();
    m_view = std::make_unique<QTableView>();
    m_view->setModel(m_model.get());
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_cell = new DescriptionCell(m_view.get());
    m_cell->setWillDisplayCell(
        [this](DescriptionCell& cell, const QModelIndex& index) { willDisplayCell(cell, index); });
    m_view->setItemDelegateForColumn(1, m_cell);
    m_view->setColumnWidth(0, 120);
    m_view->setColumnWidth(1, 420);
    m_view->resize(600, 260);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void DescriptionCellTest::cleanup()
{
    m_view.reset();
    m_model.reset();
    m_target.reset();
}

void DescriptionCellTest::willDisplayCell(DescriptionCell& cell, const QModelIndex& index)
{
    const RowActions actions = m_actions.value(index.row());
    cell.setTarget(m_target.get());
    cell.setInstallAction(actions.install ? "installButton" : "");
    cell.setUpdateAction(actions.update ? "updateButton" : "");
    cell.setWwwAction(actions.www ? "wwwButton" : "");
}

QRect DescriptionCellTest::buttonRect(int row, const QByteArray& action)
{
    willDisplayCell(*m_cell, cellIndex(row));
    const auto parts = m_cell->layout(m_view->visualRect(cellIndex(row)), m_view.get());
    const auto rect = action == "installButton"  ? parts.install
                      : action == "updateButton" ? parts.update
                                                 : parts.www;
    return rect.value_or(QRect());
}

QRect DescriptionCellTest::textRect(int row)
{
    willDisplayCell(*m_cell, cellIndex(row));
    return m_cell->layout(m_view->visualRect(cellIndex(row)), m_view.get()).text;
}

QImage DescriptionCellTest::grabCell(int row) const
{
    return viewport()->grab(m_view->visualRect(cellIndex(row))).toImage();
}

void DescriptionCellTest::layout_data()
{
    QTest::addColumn<bool>("install");
    QTest::addColumn<bool>("update");
    QTest::addColumn<bool>("www");
    QTest::newRow("no action") << false << false << false;
    QTest::newRow("www alone") << false << false << true;
    QTest::newRow("install and www") << true << false << true;
    QTest::newRow("update and www") << false << true << true;
    QTest::newRow("install alone") << true << false << false;
    QTest::newRow("all three") << true << true << true;
}

void DescriptionCellTest::layout()
{
    QFETCH(bool, install);
    QFETCH(bool, update);
    QFETCH(bool, www);
    m_actions[2] = {install, update, www};
    willDisplayCell(*m_cell, cellIndex(2));
    const QRect frame = m_view->visualRect(cellIndex(2));
    const DescriptionCell::Layout parts = m_cell->layout(frame, m_view.get());
    QCOMPARE(parts.install.has_value(), install);
    QCOMPARE(parts.update.has_value(), update);
    QCOMPARE(parts.www.has_value(), www);

    // From the right edge leftwards: www, update, install, then the text, with no gaps.
    const QFontMetrics titleMetrics(QApplication::font("QPushButton"));
    int right = frame.right();
    const std::pair<std::optional<QRect>, const char*> buttons[] = {
        {parts.www, "www"}, {parts.update, "update"}, {parts.install, "install"}};
    for (const auto& [rect, title] : buttons) {
        if (!rect)
            continue;
        QCOMPARE(rect->right(), right);
        QCOMPARE(rect->top(), frame.top());
        QCOMPARE(rect->height(), frame.height());
        QVERIFY2(rect->width() > titleMetrics.horizontalAdvance(title), title);
        right = rect->left() - 1;
    }
    QCOMPARE(parts.text, QRect(QPoint(frame.left(), frame.top()), QPoint(right, frame.bottom())));
}

void DescriptionCellTest::clearedActionHidesButton()
{
    const QImage plain = grabCell(2);
    m_actions[2].www = true;
    const QRect www =
        buttonRect(2, "wwwButton").translated(-m_view->visualRect(cellIndex(2)).topLeft());
    QVERIFY(grabCell(2).copy(www) != plain.copy(www));
    m_cell->setWwwAction("");
    m_actions[2].www = false;
    QCOMPARE(grabCell(2), plain);
}

void DescriptionCellTest::click_data()
{
    QTest::addColumn<RowActions>("actions");
    QTest::addColumn<QByteArray>("action");
    QTest::newRow("install beside www")
        << RowActions{true, false, true} << QByteArray("installButton");
    QTest::newRow("update beside www")
        << RowActions{false, true, true} << QByteArray("updateButton");
    QTest::newRow("www beside install") << RowActions{true, false, true} << QByteArray("wwwButton");
    QTest::newRow("www alone") << RowActions{false, false, true} << QByteArray("wwwButton");
    QTest::newRow("install alone") << RowActions{true, false, false} << QByteArray("installButton");
}

void DescriptionCellTest::click()
{
    QFETCH(RowActions, actions);
    QFETCH(QByteArray, action);
    m_actions[3] = actions;
    selectRow(0);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, buttonRect(3, action).center());
    QCOMPARE(m_target->calls.size(), 1);
    QCOMPARE(m_target->calls[0].action, action);
    QCOMPARE(m_target->calls[0].sender, m_view.get());
    QCOMPARE(m_target->calls[0].selectedRow, 3);
}

void DescriptionCellTest::releaseAway_data()
{
    QTest::addColumn<QString>("away");
    QTest::addColumn<int>("expected");
    QTest::newRow("onto another row") << "row" << 0;
    QTest::newRow("onto the cell's own text") << "text" << 0;
    QTest::newRow("onto another column") << "column" << 0;
    QTest::newRow("outside the table") << "outside" << 0;
    QTest::newRow("out and back in") << "back" << 1;
    QTest::newRow("button gone meanwhile") << "gone" << 0;
    QTest::newRow("row removed meanwhile") << "removed" << 0;
}

void DescriptionCellTest::releaseAway()
{
    QFETCH(QString, away);
    QFETCH(int, expected);
    m_actions[3] = {true, false, true};
    // The press makes the cell current and gives the table focus; only the button may differ.
    m_view->setFocus();
    m_view->selectionModel()->setCurrentIndex(cellIndex(3), QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
    const QImage raised = grabCell(3);
    const QPoint button = buttonRect(3, "wwwButton").center();
    const QMap<QString, QPoint> places{
        {"row", m_view->visualRect(cellIndex(1)).center()},
        {"text", textRect(3).center()},
        {"column", m_view->visualRect(m_model->index(3, 0)).center()},
        {"outside", QPoint(viewport()->width() + 40, -30)}};

    QTest::mousePress(viewport(), Qt::LeftButton, {}, button);
    QVERIFY2(grabCell(3) != raised, "the pressed button looks the same as a raised one");
    QPoint release = button;
    if (places.contains(away)) {
        release = places[away];
        QTest::mouseMove(viewport(), release);
        QCOMPARE(grabCell(3), raised);
    } else if (away == "back") {
        QTest::mouseMove(viewport(), places["row"]);
        QTest::mouseMove(viewport(), button);
    } else if (away == "gone") {
        m_actions[3].www = false;
    } else {
        m_model->removeRow(3);
    }
    QTest::mouseRelease(viewport(), Qt::LeftButton, {}, release);
    QCOMPARE(m_target->calls.size(), expected);
    if (away != "removed" && away != "gone")
        QCOMPARE(grabCell(3), raised);
}

void DescriptionCellTest::textClickSelectsRowOnly()
{
    m_actions[2] = {true, false, true};
    selectRow(0);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, textRect(2).center());
    QCOMPARE(m_view->selectionModel()->selectedRows(), QModelIndexList{m_model->index(2, 0)});
    QVERIFY(m_target->calls.isEmpty());
}

void DescriptionCellTest::doubleClick_data()
{
    QTest::addColumn<bool>("onButton");
    QTest::addColumn<bool>("secondPress");
    QTest::addColumn<int>("actions");
    QTest::addColumn<int>("doubleClicks");
    QTest::newRow("on a button") << true << true << 2 << 0;
    QTest::newRow("on a button, no second press") << true << false << 2 << 0;
    QTest::newRow("on the text") << false << true << 0 << 1;
}

void DescriptionCellTest::doubleClick()
{
    QFETCH(bool, onButton);
    QFETCH(bool, secondPress);
    QFETCH(int, actions);
    QFETCH(int, doubleClicks);
    m_actions[1] = {false, true, true};
    QSignalSpy doubleClicked(m_view.get(), &QAbstractItemView::doubleClicked);
    const QPoint pos = onButton ? buttonRect(1, "updateButton").center() : textRect(1).center();
    QTest::mousePress(viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(viewport(), Qt::LeftButton, {}, pos);
    if (secondPress)
        QTest::mousePress(viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(viewport(), Qt::LeftButton, {}, pos);
    QCOMPARE(m_target->calls.size(), actions);
    QCOMPARE(doubleClicked.size(), doubleClicks);
}

void DescriptionCellTest::targetIsNotOwned()
{
    m_cell->setWillDisplayCell(
        [](DescriptionCell& cell, const QModelIndex&) { cell.setWwwAction("wwwButton"); });
    auto* target = new ActionTarget;
    m_cell->setTarget(target);
    QCOMPARE(m_cell->target(), target);
    delete target;
    QCOMPARE(m_cell->target(), nullptr);
    m_cell->setWwwAction("wwwButton");
    const auto www = m_cell->layout(m_view->visualRect(cellIndex(0)), m_view.get()).www;
    QVERIFY(www);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, www->center());
    QVERIFY(m_view->selectionModel()->isRowSelected(0));
}

QTEST_MAIN(DescriptionCellTest)
#include "DescriptionCellTest.moc"
