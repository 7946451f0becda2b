#pragma once

// The sources table's model. It holds no records: every question goes to its data source,
// the Preferences controller, and a header click becomes a new sort order handed to that
// controller, which sorts the source list itself and reloads. Columns are identified by the
// repository record key whose value they show; every column answers the source's web page
// under DescriptionCell::WebAddressRole.

#include "platform/SortDescriptor.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>
#include <QString>

class Preferences;
class QTableView;

class RepositoryTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    struct Column
    {
        QString identifier;
        const char* title; // marked with QT_TRANSLATE_NOOP in the "Quillmor" context
    };

    // The table is the model's parent and the view it is shown in.
    RepositoryTableModel(QList<Column> columns, QTableView* table);

    void setDataSource(Preferences* dataSource);
    QTableView* table() const { return m_table; }

    QString identifierOf(int column) const;
    int columnOf(const QString& identifier) const; // -1 for none

    QList<SortDescriptor> sortDescriptors() const { return m_sortDescriptors; }
    // Also shows the first key's column and direction in the table's header.
    void setSortDescriptors(const QList<SortDescriptor>& descriptors);

    // Asks the data source afresh for every row.
    void reloadData();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    QList<Column> m_columns;
    QTableView* m_table;
    QPointer<Preferences> m_dataSource;
    QList<SortDescriptor> m_sortDescriptors;
};
