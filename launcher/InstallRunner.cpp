#include "launcher/InstallRunner.h"

#include "catalogue/Database.h"
#include "flows/InstallJob.h"
#include "install/Locations.h"
#include "install/StagedInstall.h"
#include "install/StaleDownloads.h"
#include "launcher/JobSheet.h"
#include "platform/Alert.h"
#include "platform/Localization.h"
#include "transfer/DownloadSheet.h"
#include "transfer/DownloadStatus.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QPushButton>

namespace {

// The install's questions, asked with sheets on the launcher's window.
class SheetQuestions : public Questions
{
public:
    explicit SheetQuestions(QMainWindow* window) : m_window(window) {}

    void askChecksumMismatch(const QString& levelName, Reply reply) override
    {
        auto* alert = new Alert(m_window);
        alert->addButtonWithTitle(QStringLiteral("Cancel"));
        alert->addButtonWithTitle(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Install Anyway")));
        alert->setMessageText(localizedString(
            QT_TRANSLATE_NOOP("Quillmor", "The download does not match its checksum")));
        alert->setInformativeText(
            localizedString(QT_TRANSLATE_NOOP("Quillmor",
                                              "The archive of \"%1\" differs from the one its "
                                              "feed published. It may be damaged or altered."))
                .arg(levelName));
        alert->setAlertStyle(Alert::Critical);
        alert->beginSheetModalForWindow(m_window, [reply](int returnCode) {
            reply(returnCode == Alert::SecondButtonReturn ? Answer::Proceed : Answer::Cancel);
        });
    }

    void askFolderTaken(Reply reply) override
    {
        m_window->raise();
        m_window->activateWindow();
        auto* alert = new Alert(m_window);
        alert->addButtonWithTitle(QStringLiteral("New Directory"));
        alert->addButtonWithTitle(QStringLiteral("Overwrite"));
        alert->addButtonWithTitle(QStringLiteral("Cancel"));
        alert->setMessageText(localizedString(QT_TRANSLATE_NOOP("Quillmor", "Directory exists")));
        alert->setInformativeText(localizedString(QT_TRANSLATE_NOOP(
            "Quillmor", "There is already a level in the target directory. Do you want to "
                        "install it into a new directory or overwrite it? ")));
        alert->setAlertStyle(Alert::Critical);
        alert->beginSheetModalForWindow(m_window, [reply](int returnCode) {
            reply(returnCode == Alert::FirstButtonReturn    ? Answer::NewFolder
                  : returnCode == Alert::SecondButtonReturn ? Answer::Overwrite
                                                            : Answer::Cancel);
        });
    }

private:
    QMainWindow* m_window;
};

// The file name an entry's archive has in the download folder, empty for none.
QString downloadedName(const LevelEntry& entry, const QString& key)
{
    const QUrl url = urlForKey(entry, key);
    if (!url.isValid())
        return {};
    return QFileInfo(url.isLocalFile() ? url.toLocalFile() : url.path()).fileName();
}

} // namespace

InstallRunner::InstallRunner(Database* database, DownloadStatus* downloadStatus,
                             QMainWindow* window, QObject* parent)
    : QObject(parent), m_database(database), m_downloadStatus(downloadStatus), m_window(window),
      m_questions(std::make_unique<SheetQuestions>(window)), m_jobSheet(new JobSheet(window, this))
{
}

InstallRunner::~InstallRunner() = default;

void InstallRunner::setUpdateAllControls(QAction* menuItem, QPushButton* button)
{
    m_updateAllMenuItem = menuItem;
    m_updateAllButton = button;
    validateUpdateAll();
}

InstallJob::FetchFile InstallRunner::fetcher()
{
    // Through the download controller: its sheet on the window, and its alert for a failed
    // download where it presents errors (Update All sums them up instead). Its sheet's Cancel
    // calls the install off.
    return [this](const QUrl& source, const QUrl& file,
                  std::function<void(const InstallJob::Fetched&)> done) {
        m_downloadStatus->loadFile(
            source, file, m_window,
            [this, done](const QVariant& result, const QUrl&) {
                if (result.isValid())
                    done({Outcome::success(), m_downloadStatus->lastDigest()});
                else
                    done({Outcome::failure(m_downloadStatus->lastError(),
                                           m_downloadStatus->presentsErrors()),
                          {}});
            },
            m_downloadTitle);
        connect(m_downloadStatus->downloadSheet(), &DownloadSheet::cancelRequested, this,
                &InstallRunner::cancel, Qt::UniqueConnection);
    };
}

InstallJob* InstallRunner::newInstall(const LevelIdentity& level, Questions* questions)
{
    auto* job = new InstallJob(m_database, questions, fetcher(), level, this);
    watch(job);
    return job;
}

void InstallRunner::watch(InstallJob* job)
{
    m_install = job;
    connect(job, &Job::finished, this, [this, job] {
        if (m_install == job)
            m_install = nullptr;
        if (!job->installedFolder().isEmpty())
            emit levelInstalled(job->installedFolder());
    });
}

void InstallRunner::start(InstallJob* job)
{
    connect(job, &Job::finished, this, [this, job](const Outcome& outcome) {
        job->deleteLater();
        tellInstalled(outcome, job->levelName(), job->installedFolder());
    });
    m_jobSheet->bind(job, localizedString(QT_TRANSLATE_NOOP("Quillmor", "Installing…")));
    job->start();
}

void InstallRunner::tellInstalled(const Outcome& outcome, const QString& name, const QUrl& folder)
{
    if (outcome.kind == Outcome::Failed && !outcome.told)
        Alert::showSheet(
            m_window,
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "The level could not be installed.")),
            outcome.reason, Alert::Critical);
    else if (outcome.succeeded())
        showInstallSuccessfulAlert(m_window, name, [this, folder] { emit playRequested(folder); });
}

void InstallRunner::installLevel(const LevelIdentity& level)
{
    if (isRunning())
        return;
    const qsizetype index = m_database->indexOfLevel(level);
    m_downloadTitle =
        localizedString(QT_TRANSLATE_NOOP("Quillmor", "Downloading %1"))
            .arg(index < 0 ? QString()
                           : m_database->objectAtIndex(index).value(LevelKey::name).toString());
    start(newInstall(level, m_questions.get()));
}

void InstallRunner::installArchive(const QUrl& file)
{
    if (isRunning())
        return;
    auto* job = new InstallJob(m_database, m_questions.get(), file, this);
    watch(job);
    start(job);
}

void InstallRunner::cancel()
{
    if (m_updateAll)
        m_updateAll->cancel();
    else if (m_installAll)
        m_installAll->cancel();
    else if (m_install)
        m_install->cancel();
}

void InstallRunner::installAll(const QList<InstallQueueJob::Item>& items)
{
    if (isRunning() || items.isEmpty())
        return;
    const bool one = items.size() == 1;
    auto* run = new InstallQueueJob(m_database, m_questions.get(), fetcher(), items, this);
    m_installAll = run;
    connect(run, &InstallQueueJob::itemStarted, this,
            [this, one, total = items.size()](const QString& name, int number) {
                m_downloadTitle =
                    one ? localizedString(QT_TRANSLATE_NOOP("Quillmor", "Downloading %1")).arg(name)
                        : localizedString(
                              QT_TRANSLATE_NOOP("Quillmor", "Installing %1 (%2 of %3)…"))
                              .arg(name)
                              .arg(number)
                              .arg(total);
            });
    connect(run, &InstallQueueJob::installStarted, this, [this, one](InstallJob* install) {
        watch(install);
        m_jobSheet->bind(install,
                         one ? localizedString(QT_TRANSLATE_NOOP("Quillmor", "Installing…"))
                             : m_downloadTitle);
    });
    connect(run, &Job::finished, this, [this, run, one] {
        run->deleteLater();
        m_installAll = nullptr;
        m_downloadStatus->setPresentsErrors(true);
        validateUpdateAll();
        const InstallQueueJob::Summary& summary = run->summary();
        if (one)
            return tellInstalled(summary.lastOutcome, summary.lastName, summary.lastFolder);
        if (summary.cancelled && summary.installed == 0 && summary.failures.isEmpty())
            return;
        QStringList detail{
            localizedString(QT_TRANSLATE_NOOP("Quillmor", "Levels installed: %1 of %2."))
                .arg(summary.installed)
                .arg(summary.total)};
        detail += summary.failures;
        Alert::showSheet(
            m_window,
            summary.cancelled
                ? localizedString(QT_TRANSLATE_NOOP("Quillmor", "Installing was cancelled."))
            : summary.failures.isEmpty()
                ? localizedString(QT_TRANSLATE_NOOP("Quillmor", "Every level was installed."))
                : localizedString(
                      QT_TRANSLATE_NOOP("Quillmor", "Some levels could not be installed.")),
            detail.join(u'\n'),
            summary.failures.isEmpty() ? Alert::Informational : Alert::Critical);
    });
    // Several levels' failures go into the summary rather than a sheet each.
    m_downloadStatus->setPresentsErrors(one);
    run->start();
}

void InstallRunner::setUpdatesAvailable(int count)
{
    m_updatesAvailable = count;
    validateUpdateAll();
}

void InstallRunner::setWindowBlocked(bool blocked)
{
    m_windowBlocked = blocked;
    validateUpdateAll();
}

void InstallRunner::validateUpdateAll()
{
    const bool enabled = m_updatesAvailable > 0 && !m_updateAll && !m_windowBlocked &&
                         !m_downloadStatus->isLoading();
    if (m_updateAllMenuItem)
        m_updateAllMenuItem->setEnabled(enabled);
    if (m_updateAllButton)
        m_updateAllButton->setEnabled(enabled);
}

void InstallRunner::updateAll()
{
    if (isRunning() || m_updatesAvailable == 0 || m_downloadStatus->isLoading())
        return;
    auto* run = new UpdateAllJob(
        m_database,
        [this](const LevelIdentity& level, Questions* questions) {
            return newInstall(level, questions);
        },
        this);
    m_updateAll = run;
    connect(run, &UpdateAllJob::installStarted, this,
            [this, run](InstallJob* install, const QString& name) {
                // Its download says so too.
                m_downloadTitle =
                    localizedString(QT_TRANSLATE_NOOP("Quillmor", "Updating %1 (%2 of %3)…"))
                        .arg(name)
                        .arg(run->summary().started)
                        .arg(run->summary().total);
                m_jobSheet->bind(install, m_downloadTitle);
            });
    connect(run, &Job::finished, this, [this, run] {
        run->deleteLater();
        m_updateAll = nullptr;
        m_downloadStatus->setPresentsErrors(true);
        validateUpdateAll();
        showUpdateAllSummary(run->summary());
    });
    // Each failure goes into the summary rather than a sheet of its own.
    m_downloadStatus->setPresentsErrors(false);
    validateUpdateAll();
    run->start();
}

void InstallRunner::showUpdateAllSummary(const UpdateAllJob::Summary& run)
{
    const QString message =
        run.cancelled ? localizedString(QT_TRANSLATE_NOOP("Quillmor", "Update All was cancelled."))
        : run.failures.isEmpty()
            ? localizedString(QT_TRANSLATE_NOOP("Quillmor", "Every update was installed."))
            : localizedString(
                  QT_TRANSLATE_NOOP("Quillmor", "Some updates could not be installed."));
    QStringList detail{localizedString(QT_TRANSLATE_NOOP("Quillmor", "Levels updated: %1 of %2."))
                           .arg(run.updated)
                           .arg(run.total)};
    detail += run.failures;
    Alert::showSheet(m_window, message, detail.join(u'\n'),
                     run.failures.isEmpty() ? Alert::Informational : Alert::Critical);
}

void InstallRunner::clearStaleDownloads()
{
    const auto folder = getDownloadDir();
    if (!folder)
        return;
    QSet<QString> inUse;
    for (qsizetype index = 0; index < m_database->count(); ++index) {
        const LevelEntry entry = m_database->objectAtIndex(index);
        for (const QString& key : {LevelKey::urlZip, LevelKey::urlDownload}) {
            const QString name = downloadedName(entry, key);
            if (!name.isEmpty())
                inUse.insert(name);
        }
    }
    QSet<QString> busy;
    if (m_downloadStatus && m_downloadStatus->fileBeingWritten().isLocalFile())
        busy.insert(
            QFileInfo(m_downloadStatus->fileBeingWritten().toLocalFile()).absoluteFilePath());
    // A partial download is the launcher's own scrap: in the Trash it would free nothing.
    for (const QString& path : chooseStaleDownloads(*folder, inUse, busy)) {
        if (isPartialDownload(path))
            QFile::remove(path);
        else
            moveToTrash(QUrl::fromLocalFile(path));
    }
    clearLeftoverStaging();
}
