#pragma once

// Stands in for the main window's definition file: it creates every controller of the
// launcher and its main window, connects their outlets and actions, and only then wakes
// them, so no controller creates another and none wakes to a missing partner.

#include <QObject>

#include <memory>

class Database;
class DescriptionCell;
class DownloadStatus;
class EntrySheet;
class Launcher;
class LevelLinks;
class LevelTableModel;
class Preferences;
class PreferencesPanel;
class QIcon;
class QMainWindow;
class Repositories;
namespace Ui {
class LauncherWindow;
}

class WindowDefinition : public QObject
{
    Q_OBJECT
public:
    explicit WindowDefinition(QObject* parent = nullptr);
    ~WindowDefinition() override;

    // The launcher's icon, for its windows.
    static QIcon applicationIcon();

    // Creates and connects every object; nothing is loaded yet.
    void instantiate();
    // Wakes the controllers, the Launcher first.
    void awake();
    void load()
    {
        instantiate();
        awake();
    }

    Launcher* launcher() const { return m_launcher; }
    Preferences* preferences() const { return m_preferences; }
    Database* database() const { return m_database.get(); }
    Repositories* repositories() const { return m_repositories.get(); }
    DownloadStatus* downloadStatus() const { return m_downloadStatus; }
    QMainWindow* window() const { return m_window.get(); }
    PreferencesPanel* preferencePanel() const { return m_preferencePanel; }
    EntrySheet* entrySheet() const { return m_entrySheet; }
    LevelTableModel* levelModel() const { return m_levelModel; }
    DescriptionCell* levelCell() const { return m_levelCell; }
    // What the window is asked to open from outside it; made by awake().
    LevelLinks* levelLinks() const { return m_levelLinks; }

private:
    void restoreWindowState();
    void connectActions();

    std::unique_ptr<Repositories> m_repositories;
    std::unique_ptr<Database> m_database;
    DownloadStatus* m_downloadStatus = nullptr;
    Launcher* m_launcher = nullptr;
    Preferences* m_preferences = nullptr;
    std::unique_ptr<Ui::LauncherWindow> m_ui;
    std::unique_ptr<QMainWindow> m_window;
    PreferencesPanel* m_preferencePanel = nullptr;
    EntrySheet* m_entrySheet = nullptr;
    LevelTableModel* m_levelModel = nullptr;
    DescriptionCell* m_levelCell = nullptr;
    LevelLinks* m_levelLinks = nullptr;
};
