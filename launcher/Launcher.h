#pragma once

// The controller of the main window: it starts the launcher up, serves the level table (rows
// are catalogue indexes, sorted in place), keeps the launch button in step with the selection
// and starts the game. The window definition creates it and connects its outlets; it creates
// no other controller. Its operations are split by concern: Launcher.cpp (start-up, table),
// Playing.cpp, LevelCommands.cpp, FeedRefresh.cpp and InstallFlow.cpp.

#include "platform/SortDescriptor.h"
#include "sources/RepositoryEntry.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QVariant>

class Database;
class DescriptionCell;
class DownloadStatus;
class LevelTableModel;
class PreferencesPanel;
class QAction;
class QMainWindow;
class QModelIndex;
class QPushButton;
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
    void setWindow(QMainWindow* window) { m_window = window; }

    Database* database() const { return m_database; }
    Repositories* repositories() const { return m_repositories; }
    DownloadStatus* downloadStatus() const { return m_downloadStatus; }
    QPushButton* lauchQuillmorButton() const { return m_lauchQuillmorButton; }
    QList<QAction*> levelMenuItems() const;
    PreferencesPanel* preferenceSheet() const { return m_preferenceSheet; }
    QTableView* levelTable() const { return m_levelTable; }
    QMainWindow* window() const { return m_window; }

    // The user-defaults keys that keep the window's size and the table's columns.
    static const QString windowFrameKey;
    static const QString levelTableColumnsKey;

    // Start-up: loads the source list and the catalogue, shows and selects, checks the feeds.
    void awakeFromNib();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }

    // The level table's data source and delegate.
    int numberOfRowsInTableView() const;
    QVariant objectValueForTableColumn(const QString& column, int row) const;
    // The text colour of every column of the row; invalid for the standard colour.
    QColor textColorForRow(int row) const;
    void willDisplayCell(DescriptionCell& cell, const QModelIndex& index);
    // The table's order as sort descriptors; none while no column is chosen.
    static QList<SortDescriptor> sortDescriptors(const QTableView* table);

    // The row a contextual menu was opened on, -1 for none.
    int clickedRow() const { return m_clickedRow; }

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

    // Fetches the feeds whose next check is due.
    void checkFeeds();

    // The description cell's buttons.
    void installButton(QObject* sender);
    void updateButton(QObject* sender);
    void wwwButton(QObject* sender);

    // Opens the level table's contextual menu at a point of its viewport.
    void showLevelMenu(const QPoint& pos);
    // Keeps the window's size and the table's columns for the next start.
    void saveWindowState();
    void showAbout();

protected:
    // Closing the main window saves its state; the application then ends.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void restoreSelection();
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
    QList<RepositoryEntry> m_checkFeedList;
    int m_clickedRow = -1;
    bool m_playing = false;
};
