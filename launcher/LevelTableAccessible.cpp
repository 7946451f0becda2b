#include "launcher/LevelTableAccessible.h"

#include <QTableView>

namespace {

QPointer<QTableView> s_table;
QPointer<DescriptionCell> s_cell;
bool s_askingQt = false;

const DescriptionCell::Button kButtons[] = {DescriptionCell::Button::Install,
                                            DescriptionCell::Button::Update,
                                            DescriptionCell::Button::Www};

// A cell of the description column: Qt's cell, with the cell's buttons as further actions.
class DescriptionCellAccessible : public QAccessibleInterface,
                                  public QAccessibleTableCellInterface,
                                  public QAccessibleActionInterface
{
public:
    DescriptionCellAccessible(QAccessible::Id inner, QTableView* table, DescriptionCell* cell)
        : m_inner(inner), m_table(table), m_cell(cell)
    {
    }

    // Qt's cell; gone when Qt let go of it.
    QAccessibleInterface* inner() const { return QAccessible::accessibleInterface(m_inner); }

    bool isValid() const override { return inner() && inner()->isValid() && m_table && m_cell; }
    QObject* object() const override { return inner() ? inner()->object() : nullptr; }
    QWindow* window() const override { return inner() ? inner()->window() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return inner() ? inner()->parent() : nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return inner() ? inner()->text(t) : QString();
    }
    void setText(QAccessible::Text t, const QString& text) override
    {
        if (inner())
            inner()->setText(t, text);
    }
    QRect rect() const override { return inner() ? inner()->rect() : QRect(); }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override
    {
        return inner() ? inner()->state() : QAccessible::State();
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface*>(this);
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface*>(this);
        return inner() ? inner()->interface_cast(type) : nullptr;
    }

    bool isSelected() const override { return cell() && cell()->isSelected(); }
    QList<QAccessibleInterface*> columnHeaderCells() const override
    {
        return cell() ? cell()->columnHeaderCells() : QList<QAccessibleInterface*>();
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override
    {
        return cell() ? cell()->rowHeaderCells() : QList<QAccessibleInterface*>();
    }
    int columnIndex() const override { return cell() ? cell()->columnIndex() : -1; }
    int rowIndex() const override { return cell() ? cell()->rowIndex() : -1; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return cell() ? cell()->table() : nullptr; }

    QStringList actionNames() const override
    {
        QStringList names = action() ? action()->actionNames() : QStringList();
        const QModelIndex at = index();
        for (const DescriptionCell::Button button : kButtons) {
            if (at.isValid() && DescriptionCell::isShown(button, at))
                names << m_cell->title(button);
        }
        return names;
    }
    QString localizedActionName(const QString& name) const override
    {
        return isButton(name) ? name : (action() ? action()->localizedActionName(name) : name);
    }
    void doAction(const QString& name) override
    {
        const QModelIndex at = index();
        for (const DescriptionCell::Button button : kButtons) {
            if (at.isValid() && m_cell->title(button) == name &&
                DescriptionCell::isShown(button, at))
                return m_cell->press(m_table, at, button);
        }
        if (action())
            action()->doAction(name);
    }
    QStringList keyBindingsForAction(const QString& name) const override
    {
        return isButton(name) || !action() ? QStringList() : action()->keyBindingsForAction(name);
    }

private:
    QAccessibleTableCellInterface* cell() const
    {
        return inner() ? inner()->tableCellInterface() : nullptr;
    }
    QAccessibleActionInterface* action() const
    {
        return inner() ? inner()->actionInterface() : nullptr;
    }
    QModelIndex index() const
    {
        if (!m_table || !m_table->model() || !cell())
            return {};
        return m_table->model()->index(cell()->rowIndex(), cell()->columnIndex());
    }
    bool isButton(const QString& name) const
    {
        return m_cell && std::any_of(std::begin(kButtons), std::end(kButtons),
                                     [&](auto button) { return m_cell->title(button) == name; });
    }

    QAccessible::Id m_inner;
    QPointer<QTableView> m_table;
    QPointer<DescriptionCell> m_cell;
};

QAccessibleInterface* levelTableFactory(const QString&, QObject* object)
{
    if (s_askingQt || !s_table || object != s_table.data())
        return nullptr;
    // Qt's own interface for the table, made while this factory stands aside.
    s_askingQt = true;
    QAccessibleInterface* inner = QAccessible::queryAccessibleInterface(object);
    s_askingQt = false;
    if (!inner || !inner->tableInterface())
        return nullptr;
    return new LevelTableAccessible(inner, s_table, s_cell);
}

} // namespace

void LevelTableAccessible::install(QTableView* table, DescriptionCell* cell)
{
    static const bool installed = [] {
        QAccessible::installFactory(levelTableFactory);
        return true;
    }();
    Q_UNUSED(installed);
    // Setting up the window may have made Qt's interface for the table already (an accessible
    // name set while a screen reader listens): it goes, so the next query comes here.
    s_table = nullptr;
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(table))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    s_table = table;
    s_cell = cell;
}

LevelTableAccessible::LevelTableAccessible(QAccessibleInterface* inner, QTableView* table,
                                           DescriptionCell* cell)
    : m_inner(inner), m_innerTable(inner->tableInterface()),
      m_innerId(QAccessible::uniqueId(inner)), m_table(table), m_cell(cell)
{
}

LevelTableAccessible::~LevelTableAccessible()
{
    forgetCells();
    QAccessible::deleteAccessibleInterface(m_innerId);
}

void LevelTableAccessible::forgetCells()
{
    const QHash<QAccessible::Id, QAccessible::Id> wrapped = std::exchange(m_wrapped, {});
    for (const QAccessible::Id id : wrapped)
        QAccessible::deleteAccessibleInterface(id);
}

QAccessibleInterface* LevelTableAccessible::wrap(QAccessibleInterface* cell) const
{
    QAccessibleTableCellInterface* tableCell = cell ? cell->tableCellInterface() : nullptr;
    if (!tableCell || !m_table || !m_cell ||
        m_table->itemDelegateForColumn(tableCell->columnIndex()) != m_cell.data())
        return cell;
    const QAccessible::Id innerId = QAccessible::uniqueId(cell);
    if (const QAccessible::Id known = m_wrapped.value(innerId)) {
        if (QAccessibleInterface* wrapper = QAccessible::accessibleInterface(known))
            return wrapper;
    }
    auto* wrapper = new DescriptionCellAccessible(innerId, m_table, m_cell);
    m_wrapped.insert(innerId, QAccessible::registerAccessibleInterface(wrapper));
    return wrapper;
}

const QAccessibleInterface* LevelTableAccessible::unwrap(const QAccessibleInterface* cell) const
{
    if (const auto* wrapper = dynamic_cast<const DescriptionCellAccessible*>(cell))
        return wrapper->inner();
    return cell;
}

bool LevelTableAccessible::isValid() const
{
    return m_inner->isValid();
}

QObject* LevelTableAccessible::object() const
{
    return m_inner->object();
}

QWindow* LevelTableAccessible::window() const
{
    return m_inner->window();
}

QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
LevelTableAccessible::relations(QAccessible::Relation match) const
{
    return m_inner->relations(match);
}

QAccessibleInterface* LevelTableAccessible::focusChild() const
{
    return wrap(m_inner->focusChild());
}

QAccessibleInterface* LevelTableAccessible::childAt(int x, int y) const
{
    return wrap(m_inner->childAt(x, y));
}

QAccessibleInterface* LevelTableAccessible::parent() const
{
    return m_inner->parent();
}

QAccessibleInterface* LevelTableAccessible::child(int index) const
{
    return wrap(m_inner->child(index));
}

int LevelTableAccessible::childCount() const
{
    return m_inner->childCount();
}

int LevelTableAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    return m_inner->indexOfChild(unwrap(child));
}

QString LevelTableAccessible::text(QAccessible::Text t) const
{
    return m_inner->text(t);
}

void LevelTableAccessible::setText(QAccessible::Text t, const QString& text)
{
    m_inner->setText(t, text);
}

QRect LevelTableAccessible::rect() const
{
    return m_inner->rect();
}

QAccessible::Role LevelTableAccessible::role() const
{
    return m_inner->role();
}

QAccessible::State LevelTableAccessible::state() const
{
    return m_inner->state();
}

void* LevelTableAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return m_inner->interface_cast(type);
}

QAccessibleInterface* LevelTableAccessible::caption() const
{
    return m_innerTable->caption();
}

QAccessibleInterface* LevelTableAccessible::summary() const
{
    return m_innerTable->summary();
}

QAccessibleInterface* LevelTableAccessible::cellAt(int row, int column) const
{
    return wrap(m_innerTable->cellAt(row, column));
}

int LevelTableAccessible::selectedCellCount() const
{
    return m_innerTable->selectedCellCount();
}

QList<QAccessibleInterface*> LevelTableAccessible::selectedCells() const
{
    QList<QAccessibleInterface*> cells = m_innerTable->selectedCells();
    for (QAccessibleInterface*& cell : cells)
        cell = wrap(cell);
    return cells;
}

QString LevelTableAccessible::columnDescription(int column) const
{
    return m_innerTable->columnDescription(column);
}

QString LevelTableAccessible::rowDescription(int row) const
{
    return m_innerTable->rowDescription(row);
}

int LevelTableAccessible::selectedColumnCount() const
{
    return m_innerTable->selectedColumnCount();
}

int LevelTableAccessible::selectedRowCount() const
{
    return m_innerTable->selectedRowCount();
}

int LevelTableAccessible::columnCount() const
{
    return m_innerTable->columnCount();
}

int LevelTableAccessible::rowCount() const
{
    return m_innerTable->rowCount();
}

QList<int> LevelTableAccessible::selectedColumns() const
{
    return m_innerTable->selectedColumns();
}

QList<int> LevelTableAccessible::selectedRows() const
{
    return m_innerTable->selectedRows();
}

bool LevelTableAccessible::isColumnSelected(int column) const
{
    return m_innerTable->isColumnSelected(column);
}

bool LevelTableAccessible::isRowSelected(int row) const
{
    return m_innerTable->isRowSelected(row);
}

bool LevelTableAccessible::selectRow(int row)
{
    return m_innerTable->selectRow(row);
}

bool LevelTableAccessible::selectColumn(int column)
{
    return m_innerTable->selectColumn(column);
}

bool LevelTableAccessible::unselectRow(int row)
{
    return m_innerTable->unselectRow(row);
}

bool LevelTableAccessible::unselectColumn(int column)
{
    return m_innerTable->unselectColumn(column);
}

void LevelTableAccessible::modelChange(QAccessibleTableModelChangeEvent* event)
{
    // Qt's table lets go of its cells as the rows change: the wrappers go first.
    forgetCells();
    m_innerTable->modelChange(event);
}
