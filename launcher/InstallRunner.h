#pragma once

// Runs the window's installs, one at a time: a level of the catalogue, an archive on this
// computer, or every update (Update All). Each install is an InstallJob whose download shows
// the download controller's sheet, whose hashing and unpacking show the "Installing…" sheet
// and whose questions are sheets on the window; its end is told in a sheet, or for Update All
// in one summary. It keeps the Update All command enabled while an update waits and nothing
// holds the window.

#include "catalogue/LevelEntry.h"
#include "flows/InstallQueueJob.h"
#include "flows/UpdateAllJob.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class Database;
class DownloadStatus;
class InstallJob;
class JobSheet;
class QAction;
class QMainWindow;
class QPushButton;
class Questions;

class InstallRunner : public QObject
{
    Q_OBJECT
public:
    InstallRunner(Database* database, DownloadStatus* downloadStatus, QMainWindow* window,
                  QObject* parent = nullptr);
    ~InstallRunner() override;

    void setUpdateAllControls(QAction* menuItem, QPushButton* button);
    bool isRunning() const { return m_install || m_updateAll || m_installAll; }

    // Installs the level the player acted on, by its identity: another feed may list the same
    // archive.
    void installLevel(const LevelIdentity& level);
    void installArchive(const QUrl& file);
    // Installs each in turn behind one progress sheet: one level ends as the two above do,
    // several with one summary.
    void installAll(const QList<InstallQueueJob::Item>& items);
    void updateAll();

    // What Update All waits for: updates to install, and a window no sheet holds.
    void setUpdatesAvailable(int count);
    // Moves the download folder's unused archives to the Trash and removes left-over partial
    // downloads, but for a week not those of an archive the catalogue names, which a download
    // resumes; the file a running transfer writes stays. Clears the staging folders of
    // installs that ended with the run that made them.
    void clearStaleDownloads();
    void setWindowBlocked(bool blocked);
    void validateUpdateAll();

signals:
    // An install put a level in place, in this folder.
    void levelInstalled(const QUrl& folder);
    // The player chose "Play" on the sheet that told of the level installed in this folder.
    void playRequested(const QUrl& folder);

private:
    InstallJob::FetchFile fetcher();
    InstallJob* newInstall(const LevelIdentity& level, Questions* questions);
    void watch(InstallJob* job);
    void start(InstallJob* job);
    // The sheet that tells how one install ended.
    void tellInstalled(const Outcome& outcome, const QString& name, const QUrl& folder);
    // The download sheet's Cancel: calls off the install, or the Update All, in hand.
    void cancel();
    void showUpdateAllSummary(const UpdateAllJob::Summary& run);

    Database* m_database;
    DownloadStatus* m_downloadStatus;
    QMainWindow* m_window;
    QPointer<QAction> m_updateAllMenuItem;
    QPointer<QPushButton> m_updateAllButton;
    std::unique_ptr<Questions> m_questions;
    JobSheet* m_jobSheet;
    // What the download sheet says of the download in hand.
    QString m_downloadTitle;
    QPointer<InstallJob> m_install;
    QPointer<UpdateAllJob> m_updateAll;
    QPointer<InstallQueueJob> m_installAll;
    int m_updatesAvailable = 0;
    bool m_windowBlocked = false;
};
