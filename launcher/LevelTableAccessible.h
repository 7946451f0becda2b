#pragma once

// What a screen reader meets in the level table: the table as Qt presents any table, except
// that the cells of the description column also offer the buttons the cell draws (Install,
// Update, Web page) as actions, which press them as a click would. The buttons are painted,
// not widgets, so nothing else would tell assistive technology that a row has them.
//
// install() registers a factory that answers for the one table it is given; Qt's own table
// interface does the rest of the work underneath.

#include "cells/DescriptionCell.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QHash>
#include <QPointer>

class QTableView;

class LevelTableAccessible : public QAccessibleInterface, public QAccessibleTableInterface
{
public:
    // Makes the table's accessible interface this one; the description column is found by
    // the cell delegate it uses.
    static void install(QTableView* table, DescriptionCell* cell);

    LevelTableAccessible(QAccessibleInterface* inner, QTableView* table, DescriptionCell* cell);
    ~LevelTableAccessible() override;

    bool isValid() const override;
    QObject* object() const override;
    QWindow* window() const override;
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match = QAccessible::AllRelations) const override;
    QAccessibleInterface* focusChild() const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text t, const QString& text) override;
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QAccessibleInterface* caption() const override;
    QAccessibleInterface* summary() const override;
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int row) const override;
    int selectedColumnCount() const override;
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override;
    QList<int> selectedRows() const override;
    bool isColumnSelected(int column) const override;
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int column) override;
    bool unselectRow(int row) override;
    bool unselectColumn(int column) override;
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

private:
    // The cell as this table hands it out: a description cell wrapped with its actions.
    QAccessibleInterface* wrap(QAccessibleInterface* cell) const;
    // The cell Qt's table made, for a wrapped one.
    const QAccessibleInterface* unwrap(const QAccessibleInterface* cell) const;
    void forgetCells();

    QAccessibleInterface* m_inner;
    QAccessibleTableInterface* m_innerTable;
    QAccessible::Id m_innerId;
    QPointer<QTableView> m_table;
    QPointer<DescriptionCell> m_cell;
    // Qt's cells to their wrappers, by the ids both are registered under.
    mutable QHash<QAccessible::Id, QAccessible::Id> m_wrapped;
};
