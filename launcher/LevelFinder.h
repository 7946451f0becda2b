#pragma once

// Finding levels and keeping count. The filter field keeps only the level table's rows whose
// name, author, description or source contain its text, whatever the case and accents; the
// counts line says how many levels are installed and how many updates wait, and while the
// filter hides rows, how many it shows. The filter hides rows, never removes them, so row i
// stays the catalogue's entry i for every command.

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class LevelTableModel;
class QLabel;
class QLineEdit;
class QTableView;
class QTimer;

class LevelFinder : public QObject
{
    Q_OBJECT
public:
    LevelFinder(QTableView* table, LevelTableModel* model, QLineEdit* filter, QLabel* counts,
                QObject* parent = nullptr);

    // The text as the filter compares it: compatibility-decomposed, without combining marks,
    // case-folded, so "Éte" and "ete" match each other.
    static QString foldedForFind(const QString& text);

    // The table was handed its rows anew: they are filtered and counted again.
    void levelsDidReload();
    int updatesAvailable() const { return m_updatesAvailable; }
    // The row itself if the filter shows it, else the next shown row, else the one before.
    int nearestShownRow(int row) const;

signals:
    // The selected row went under the filter, or the filter started with nothing selected:
    // the row to select instead (a hidden one asks for the nearest shown).
    void selectionHidden(int row);
    // The counts line was counted again.
    void countsChanged();

private:
    void levelFilterDidChange();
    // Folds rows of the table onto m_foldedRows until every row is there (true) or the
    // budget is spent (false; a negative budget has no end).
    bool foldRows(qint64 budgetNsecs);
    void applyLevelFilter();
    // Says so in the empty table when the filter hides every row.
    void showWhenNothingMatches();
    void updateLevelCounts();

    QPointer<QTableView> m_table;
    LevelTableModel* m_model;
    QPointer<QLineEdit> m_filter;
    QPointer<QLabel> m_counts;
    QLabel* m_nothingMatches = nullptr; // made the first time nothing matches
    int m_shownRows = 0;
    // Each row's name, author, description and source, folded, one line each; filled in idle
    // slices after a reload, or at once by the first filtering that needs them.
    QStringList m_foldedRows;
    QHash<QString, QString> m_foldedSources; // feed name to folded feed name
    QTimer* m_foldTimer = nullptr;
    QString m_foldedFilter;
    int m_updatesAvailable = 0;
};
