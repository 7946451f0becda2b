#include "preferences/RepositoryTableModel.h"

#include "cells/DescriptionCell.h"
#include "platform/Localization.h"
#include "preferences/Preferences.h"
#include "sources/RepositoryEntry.h"

#include <QHeaderView>
#include <QTableView>

RepositoryTableModel::RepositoryTableModel(QList<Column> columns, QTableView* table)
    : QAbstractTableModel(table), m_columns(std::move(columns)), m_table(table)
{
}

void RepositoryTableModel::setDataSource(Preferences* dataSource)
{
    beginResetModel();
    m_dataSource = dataSource;
    endResetModel();
}

QString RepositoryTableModel::identifierOf(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns[column].identifier : QString();
}

int RepositoryTableModel::columnOf(const QString& identifier) const
{
    for (int column = 0; column < m_columns.size(); ++column) {
        if (m_columns[column].identifier == identifier)
            return column;
    }
    return -1;
}

void RepositoryTableModel::setSortDescriptors(const QList<SortDescriptor>& descriptors)
{
    m_sortDescriptors = descriptors;
    const int column = descriptors.isEmpty() ? -1 : columnOf(descriptors.first().key);
    // The header answers with sort() for the order it now shows, which is already in place.
    if (column >= 0)
        m_table->horizontalHeader()->setSortIndicator(
            column, descriptors.first().ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void RepositoryTableModel::reloadData()
{
    beginResetModel();
    endResetModel();
}

int RepositoryTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_dataSource ? 0 : m_dataSource->numberOfRowsInTableView(m_table);
}

int RepositoryTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant RepositoryTableModel::data(const QModelIndex& index, int role) const
{
    if (!m_dataSource || !index.isValid())
        return {};
    if (role == DescriptionCell::WebAddressRole)
        return m_dataSource->objectValueForTableColumn(m_table, RepositoryKey::urlWebsite,
                                                       index.row());
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    return m_dataSource->objectValueForTableColumn(m_table, identifierOf(index.column()),
                                                   index.row());
}

QVariant RepositoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= m_columns.size())
        return {};
    return localizedString(m_columns[section].title);
}

void RepositoryTableModel::sort(int column, Qt::SortOrder order)
{
    // The view sorts once as soon as sorting is enabled, before anyone has asked for an
    // order; only orders chosen while the controller listens count.
    if (!m_dataSource || column < 0 || column >= m_columns.size())
        return;
    const SortDescriptor chosen{m_columns[column].identifier, order == Qt::AscendingOrder};
    if (!m_sortDescriptors.isEmpty() && m_sortDescriptors.first().key == chosen.key &&
        m_sortDescriptors.first().ascending == chosen.ascending)
        return;
    const QList<SortDescriptor> old = m_sortDescriptors;
    // The clicked key leads; the keys chosen before it break its ties.
    m_sortDescriptors.removeIf([&](const SortDescriptor& d) { return d.key == chosen.key; });
    m_sortDescriptors.prepend(chosen);
    m_dataSource->sortDescriptorsDidChange(m_table, old);
}
