#pragma once

// The level table's model. It holds the catalogue's entries as they stood at the last reload,
// in the catalogue's order, so right after a reload row i is the catalogue's i-th entry and
// no proxy stands between a row and its catalogue index. Between reloads the rows stay as the
// player sees them; a command on a row finds its level again by the identity role.

#include "catalogue/LevelEntry.h"
#include "cells/DescriptionCell.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QList>
#include <QPalette>
#include <QStringList>

#include <functional>

class LevelTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role
    {
        // The entry's InstallState (install/Locations.h, checkInstall), as an int.
        InstallStateRole = DescriptionCell::InstallStateRole,
        // The entry's "urlWebsite", empty for none.
        WebAddressRole = DescriptionCell::WebAddressRole,
        // Installed, yet its folder was gone when last looked at ("exists" false): a bool.
        MissingRole = Qt::UserRole + 16,
        // The entry's LevelIdentity, for finding it in the catalogue whatever its row there.
        IdentityRole,
    };

    // What the "status" column says of a level, in the order it sorts upwards: what wants the
    // player's attention first, what can still be had last.
    enum class Status
    {
        UpdateAvailable,
        Missing,
        Installed,
        BuiltIn,
        Available,
    };
    static Status statusOf(const LevelEntry& entry);
    static QString statusText(Status status);

    // The feed's name for a feed URL, as the "source" column shows it.
    using SourceName = std::function<QString(const QString& url)>;

    // Columns are named by record keys ("name", "author", "description", "source"), and
    // "status", which tells the level's Status.
    explicit LevelTableModel(const QStringList& columns, QObject* parent = nullptr);

    void setSourceName(SourceName sourceName) { m_sourceName = std::move(sourceName); }

    QString columnIdentifier(int column) const { return m_columns.value(column); }
    int columnOf(const QString& identifier) const { return int(m_columns.indexOf(identifier)); }
    // The catalogue changed or was re-sorted: its entries in its order, every row anew.
    void setLevels(QList<LevelEntry> levels);

    // The row's entry, and the text its column shows.
    const LevelEntry& levelAt(int row) const { return m_levels.at(row); }
    QString displayText(const LevelEntry& entry, const QString& column) const;
    // Installed, yet its folder was gone when last looked at ("exists" false).
    static bool isMissing(const LevelEntry& entry);
    // The colour missing levels are drawn in: red, as dark or light as the palette's rows need
    // for it to read on them.
    static QColor missingColour(const QPalette& palette);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QStringList m_columns;
    QList<LevelEntry> m_levels;
    SourceName m_sourceName;
};
