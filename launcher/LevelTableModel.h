#pragma once

// The level table's model. It holds nothing: row i is the catalogue's i-th entry and every
// answer comes from the Launcher's data-source operations, so the catalogue's own order is
// the order on screen and no proxy stands between a row and its catalogue index.

#include <QAbstractTableModel>
#include <QStringList>

class Launcher;

class LevelTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // Columns are named by record keys ("name", "author", "description", "source").
    LevelTableModel(Launcher* dataSource, const QStringList& columns, QObject* parent = nullptr);

    QString columnIdentifier(int column) const { return m_columns.value(column); }
    int columnOf(const QString& identifier) const { return int(m_columns.indexOf(identifier)); }
    // The catalogue changed or was re-sorted: every row is asked again.
    void reloadData();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    Launcher* m_dataSource;
    QStringList m_columns;
};
