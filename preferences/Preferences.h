#pragma once

// The controller of the preferences sheet. It shares the catalogue and the source list with
// the Launcher; whichever of the two wakes first loads them.

#include <QObject>

class Database;
class DownloadStatus;
class PreferencesPanel;
class Repositories;

class Preferences : public QObject
{
    Q_OBJECT
public:
    explicit Preferences(QObject* parent = nullptr);

    // Outlets, connected by the window definition; not owned.
    void setMainWindow(PreferencesPanel* panel) { m_mainWindow = panel; }
    void setDatabase(Database* database) { m_database = database; }
    void setRepositories(Repositories* repositories) { m_repositories = repositories; }
    void setDownloadStatus(DownloadStatus* status) { m_downloadStatus = status; }

    void awakeFromNib();

private:
    PreferencesPanel* m_mainWindow = nullptr;
    Database* m_database = nullptr;
    Repositories* m_repositories = nullptr;
    DownloadStatus* m_downloadStatus = nullptr;
};
