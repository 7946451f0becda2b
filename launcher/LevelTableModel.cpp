#include "launcher/LevelTableModel.h"

#include "install/Locations.h"
#include "platform/Localization.h"

#include <QColor>

bool LevelTableModel::isMissing(const LevelEntry& entry)
{
    return !entry.value(LevelKey::urlInstall).toString().isEmpty() &&
           !entry.value(LevelKey::exists).toBool();
}

LevelTableModel::LevelTableModel(const QStringList& columns, QObject* parent)
    : QAbstractTableModel(parent), m_columns(columns)
{
}

void LevelTableModel::setLevels(QList<LevelEntry> levels)
{
    beginResetModel();
    m_levels = std::move(levels);
    endResetModel();
}

int LevelTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_levels.size());
}

int LevelTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QString LevelTableModel::displayText(const LevelEntry& entry, const QString& column) const
{
    if (column == u"source") {
        const QString source = entry.value(LevelKey::urlSource).toString();
        return m_sourceName ? m_sourceName(source) : source;
    }
    return entry.value(column).toString();
}

QVariant LevelTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const LevelEntry& entry = m_levels.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return displayText(entry, m_columns.value(index.column()));
    case Qt::ForegroundRole:
        // An installed level whose folder is gone stands out; the rest keep the standard colour.
        return isMissing(entry) ? QVariant(QColor(Qt::red)) : QVariant();
    case InstallStateRole:
        return int(checkInstall(entry));
    case WebAddressRole:
        return entry.value(LevelKey::urlWebsite).toString();
    case MissingRole:
        return isMissing(entry);
    case IdentityRole:
        return QVariant::fromValue(LevelIdentity::of(entry));
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
