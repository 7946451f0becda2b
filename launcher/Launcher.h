#pragma once

// The controller of the main window, a coordinator: it starts the launcher up, hands the
// level table its rows (catalogue indexes, sorted in place), keeps the launch button in step
// with the selection, starts the long work as jobs (flows/) and shows how they ended. The
// window definition creates it and connects its outlets; the window's other controllers are
// made at start-up: LevelFinder (the filter and the counts line), InstallRunner (installs and
// Update All), StoreAlerts (files that could not be read or saved). Its operations are split
// by concern: Launcher.cpp (start-up, table), Playing.cpp (a GameRun), LevelCommands.cpp,
// FeedRefresh.cpp (a FeedRefreshJob) and InstallFlow.cpp (what happens when Install is
// clicked is flows/InstallJob.cpp).

#include "catalogue/LevelEntry.h"
#include "platform/SortDescriptor.h"
#include "sources/RepositoryEntry.h"

#include <QAction>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <optional>

class Database;
class FeedRefreshJob;
class GameRun;
class InstallRunner;
class LevelFinder;
class StoreAlerts;
class DownloadSheet;
class DownloadStatus;
class LevelTableModel;
class PreferencesPanel;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMainWindow;
class QModelIndex;
class QTableView;
class Repositories;

class Launcher : public QObject
{
    Q_OBJECT
public:
    // Registers the user defaults the launcher reads.
    explicit Launcher(QObject* parent = nullptr);

    // Outlets, connected by the window definition; not owned.
    void setDatabase(Database* database) { m_database = database; }
    void setRepositories(Repositories* repositories) { m_repositories = repositories; }
    void setDownloadStatus(DownloadStatus* status) { m_downloadStatus = status; }
    void setLauchQuillmorButton(QPushButton* button) { m_lauchQuillmorButton = button; }
    void setInstallMenuItem(QAction* item) { m_installMenuItem = item; }
    void setPlayLevelMenuItem(QAction* item) { m_playLevelMenuItem = item; }
    void setDeleteLevelMenuItem(QAction* item) { m_deleteLevelMenuItem = item; }
    void setViewWebsiteMenuItem(QAction* item) { m_viewWebsiteMenuItem = item; }
    void setRevealInFinderMenuItem(QAction* item) { m_revealInFinderMenuItem = item; }
    void setPreferenceSheet(PreferencesPanel* panel) { m_preferenceSheet = panel; }
    void setLevelTable(QTableView* table) { m_levelTable = table; }
    void setLevelFilter(QLineEdit* field) { m_levelFilter = field; }
    void setLevelCountsLabel(QLabel* label) { m_levelCountsLabel = label; }
    void setUpdateAllMenuItem(QAction* item) { m_updateAllMenuItem = item; }
    void setUpdateAllButton(QPushButton* button) { m_updateAllButton = button; }
    void setWindow(QMainWindow* window) { m_window = window; }

    Database* database() const { return m_database; }
    Repositories* repositories() const { return m_repositories; }
    DownloadStatus* downloadStatus() const { return m_downloadStatus; }
    QPushButton* lauchQuillmorButton() const { return m_lauchQuillmorButton; }
    QList<QAction*> levelMenuItems() const;
    PreferencesPanel* preferenceSheet() const { return m_preferenceSheet; }
    QTableView* levelTable() const { return m_levelTable; }
    QLineEdit* levelFilter() const { return m_levelFilter; }
    QLabel* levelCountsLabel() const { return m_levelCountsLabel; }
    QPushButton* updateAllButton() const { return m_updateAllButton; }
    // Made at start-up.
    InstallRunner* installRunner() const { return m_installs; }
    QMainWindow* window() const { return m_window; }

    // The user-defaults keys that keep the window's size and the table's columns.
    static const QString windowFrameKey;
    static const QString levelTableColumnsKey;
    // The split between the level table and the details pane under it.
    static const QString levelSplitterKey;

    // Start-up: loads the source list and the catalogue, shows and selects, checks the feeds.
    void awakeFromNib();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }

    // The catalogue's rows, which the level table shows as they stood at its last reload.
    int numberOfRowsInTableView() const;
    QVariant objectValueForTableColumn(const QString& column, int row) const;

    // The row a contextual menu was opened on, -1 for none.
    int clickedRow() const { return m_clickedRow; }
    // The game started from the window is running.
    bool isPlaying() const;

public slots:
    // Sorts the catalogue by the table's order and shows it again; the selected level stays
    // selected wherever it moves.
    void reloadLevelTable(QTableView* table);
    void sortDescriptorsDidChange(QTableView* table);
    void tableViewSelectionDidChange();
    void updateLaunchButton();

    void launchQuillmor(QObject* sender = nullptr);
    void playLevel(QObject* sender = nullptr);
    void playLevelAtRow(int row);

    void showPreferences(QObject* sender = nullptr);
    void preferenceSheetDidEnd(int returnCode);

    // The feed refresh cycle, a FeedRefreshJob (FeedRefresh.cpp): checkFeeds queues the feeds
    // that are due, refreshAllFeeds every feed, and updateNextFeed works the queue from its
    // end. A cancelled fetch leaves what is queued for the next cycle.
    void checkFeeds();
    void refreshAllFeeds();
    void updateNextFeed();

    // The install flow (InstallFlow.cpp), handed to the InstallRunner: each install is an
    // InstallJob (flows/InstallJob.cpp), one at a time.
    void downloadSelectedLevel(QObject* sender = nullptr);
    void downloadLevel(const LevelEntry& entry);
    void installFromFile(QObject* sender = nullptr);
    void installFromSelectedFile(QFileDialog* panel, int returnCode);

    // The description cell's buttons, on the level of the clicked row wherever the catalogue
    // holds it now.
    void installButton(const QModelIndex& index);
    void updateButton(const QModelIndex& index);
    void wwwButton(const QModelIndex& index);

    // Opens the level table's contextual menu at a point of its viewport.
    void showLevelMenu(const QPoint& pos);

    // Installs every level that has an update, one after another (an UpdateAllJob): no sheet
    // per level, one summary at the end.
    void updateAllLevels(QObject* sender = nullptr);

    // Commands on one level (LevelCommands.cpp). The cell's buttons act on the selected row;
    // the menu items on the contextual menu's row while it is open, else on the selected
    // row (the "Level" menu, the Delete key). Without such a row they do nothing.
public slots:
    void installFromMenuItem(QObject* sender = nullptr);
    void viewWebsiteFromMenuItem(QObject* sender = nullptr);
    void deleteLevel(QObject* sender = nullptr);
    void revealLevelInFinder(QObject* sender = nullptr);
    // Removes the row's level (its folder goes to the Trash) and selects the row that takes
    // its place.
    void removeLevel(int row);
    // The end of the delete confirmation, asked about `level` at `row`.
    void alertDidEndDeleteLevel(int returnCode, const LevelEntry& level, int row);
    // Enables each of the five level items, and titles the install item, for the row.
    void validateMenuItems();

public:
    // Whether the item is enabled for the command row; may retitle the install item.
    bool validateMenuItem(QAction* item) const;
    // The row the menu commands act on, -1 for none.
    int commandRow() const;

private:
    void openWebsite(int row);

protected:
    // Closing the main window saves its state; the application then ends. A sheet on the
    // window disables Update All until it closes.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void selectRow(int row);
    // An alert with one "OK" button, as a sheet on the window; style is an Alert::AlertStyle.
    void showAlert(const QString& message, const QString& detail, int style);

    Database* m_database = nullptr;
    Repositories* m_repositories = nullptr;
    DownloadStatus* m_downloadStatus = nullptr;
    QPushButton* m_lauchQuillmorButton = nullptr;
    QAction* m_installMenuItem = nullptr;
    QAction* m_playLevelMenuItem = nullptr;
    QAction* m_deleteLevelMenuItem = nullptr;
    QAction* m_viewWebsiteMenuItem = nullptr;
    QAction* m_revealInFinderMenuItem = nullptr;
    PreferencesPanel* m_preferenceSheet = nullptr;
    QTableView* m_levelTable = nullptr;
    QMainWindow* m_window = nullptr;
    QLineEdit* m_levelFilter = nullptr;
    QLabel* m_levelCountsLabel = nullptr;
    // Guarded: sheets closing while the window is destroyed still report to the launcher.
    QPointer<QAction> m_updateAllMenuItem;
    QPointer<QPushButton> m_updateAllButton;
    // Finding levels and keeping count, made at start-up.
    LevelFinder* m_finder = nullptr;
    // The installs and Update All, made at start-up.
    InstallRunner* m_installs = nullptr;
    // The feed refresh cycle, made at start-up.
    FeedRefreshJob* m_feedRefresh = nullptr;
    int m_clickedRow = -1;
    // The level selected, noted when the selection changes; found again after every reload.
    std::optional<LevelIdentity> m_selectedLevel;
    // The game while it runs; the window is disabled meanwhile.
    QPointer<GameRun> m_gameRun;
    // Sheets for the files that could not be read or saved, made at start-up.
    StoreAlerts* m_storeAlerts = nullptr;
};
