#include "launcher/LevelTableModel.h"

#include "launcher/Launcher.h"
#include "platform/Localization.h"

LevelTableModel::LevelTableModel(Launcher* dataSource, const QStringList& columns, QObject* parent)
    : QAbstractTableModel(parent), m_dataSource(dataSource), m_columns(columns)
{
}

void LevelTableModel::reloadData()
{
    beginResetModel();
    endResetModel();
}

int LevelTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_dataSource->numberOfRowsInTableView();
}

int LevelTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant LevelTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return m_dataSource->objectValueForTableColumn(m_columns.value(index.column()), index.row())
            .toString();
    case Qt::ForegroundRole: {
        const QColor color = m_dataSource->textColorForRow(index.row());
        return color.isValid() ? QVariant(color) : QVariant();
    }
    default:
        return {};
    }
}

QVariant LevelTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    // A first click on a header sorts upwards, as the fallback order does.
    if (role == Qt::InitialSortOrderRole)
        return int(Qt::AscendingOrder);
    if (role != Qt::DisplayRole)
        return {};
    const QString id = m_columns.value(section);
    if (id == u"name")
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Name"));
    if (id == u"author")
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Author"));
    if (id == u"description")
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Description"));
    if (id == u"source")
        return localizedString(QT_TRANSLATE_NOOP("Quillmor", "Source"));
    return id;
}
