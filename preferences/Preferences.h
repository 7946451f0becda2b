#pragma once

// The controller of the preferences panel: shows the source list in the panel's table, adds
// a feed by address, removes one together with the levels it offers for download, refreshes
// every feed, and ends the panel with OK (keep the list) or Cancel (back to the saved list).
// Its own refresh cycle fetches a queue of feed URLs one after another and picks each one's
// parser by what the feed turns out to hold. It creates none of the objects it works with:
// the window definition hands them over through the setters before awakeFromNib.

#include "platform/SortDescriptor.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QVariant>

#include <optional>

class Database;
class DownloadStatus;
class EntrySheet;
class FeedRefreshJob;
class PreferencesPanel;
class QAbstractButton;
class QLineEdit;
class QModelIndex;
class QTableView;
class Repositories;

class Preferences : public QObject
{
    Q_OBJECT
public:
    explicit Preferences(QObject* parent = nullptr);

    void setMainWindow(PreferencesPanel* panel);
    void setEntrySheet(EntrySheet* sheet);
    // Makes this controller the table's data source and delegate.
    void setRepositoryTable(QTableView* table);
    void setRepositoryUrl(QLineEdit* field);
    void setRemoveRepositoryButton(QAbstractButton* button);
    void setDownloadStatus(DownloadStatus* downloadStatus);
    void setRepositories(Repositories* repositories) { m_repositories = repositories; }
    void setDatabase(Database* database) { m_database = database; }

    // The panel's and the sheet's controls, Escape and the close button included, send their
    // actions here with the control as sender.
    void connectActions(PreferencesPanel* panel, EntrySheet* sheet);

    void awakeFromNib();

    // The feed URLs still to fetch; the last is fetched first.
    QList<QUrl> checkFeedList() const;

    // The sources table's data source and delegate.
    int numberOfRowsInTableView(QTableView* table) const;
    QVariant objectValueForTableColumn(QTableView* table, const QString& column, int row) const;
    void tableViewSelectionDidChange(QTableView* table);
    void sortDescriptorsDidChange(QTableView* table, const QList<SortDescriptor>& oldDescriptors);

public slots:
    void reloadRepositoryTable(QTableView* table);
    // Opens the web page of the source at the index's row.
    void wwwButton(const QModelIndex& index);
    void addRepository(QObject* sender);
    void okAdd(QObject* sender);
    void cancelAdd(QObject* sender);
    void removeRepository(QObject* sender);
    void refreshRepositories(QObject* sender);
    void ok(QObject* sender);
    void cancel(QObject* sender);
    // The refresh step: works the queue of the panel's FeedRefreshJob.
    void updateNextFeed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int selectedRow(QTableView* table) const;
    void reportNotFeeds();
    FeedRefreshJob* feedRefresh();

    QPointer<PreferencesPanel> m_mainWindow;
    QPointer<EntrySheet> m_entrySheet;
    QPointer<QTableView> m_repositoryTable;
    QPointer<QLineEdit> m_repositoryUrl;
    QPointer<QAbstractButton> m_removeRepositoryButton;
    QPointer<DownloadStatus> m_downloadStatus;
    Repositories* m_repositories = nullptr;
    Database* m_database = nullptr;
    QPointer<FeedRefreshJob> m_feedRefresh;
    // Sources removed since the panel opened, whose levels leave the catalogue on OK.
    QList<QUrl> m_removedSources;
};
