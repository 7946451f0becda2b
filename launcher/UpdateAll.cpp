#include "launcher/Launcher.h"

#include "flows/InstallJob.h"
#include "flows/UpdateAllJob.h"
#include "launcher/JobSheet.h"
#include "launcher/LevelFinder.h"
#include "platform/Alert.h"
#include "platform/Localization.h"
#include "transfer/DownloadStatus.h"

#include <QAction>
#include <QMainWindow>
#include <QPushButton>

void Launcher::validateUpdateAll()
{
    const bool enabled = m_finder && m_finder->updatesAvailable() > 0 && !m_updateAllJob &&
                         !m_windowBlocked &&
                         !(m_downloadStatus && m_downloadStatus->isLoading());
    if (m_updateAllMenuItem)
        m_updateAllMenuItem->setEnabled(enabled);
    if (m_updateAllButton)
        m_updateAllButton->setEnabled(enabled);
}

void Launcher::updateAllLevels(QObject*)
{
    if (m_updateAllJob || m_installJob || !m_finder || m_finder->updatesAvailable() == 0 ||
        m_downloadStatus->isLoading())
        return;
    auto* run = new UpdateAllJob(
        m_database,
        [this](const LevelIdentity& level, Questions* questions) {
            return newInstall(level, questions);
        },
        this);
    m_updateAllJob = run;
    connect(run, &UpdateAllJob::installStarted, this,
            [this, run](InstallJob* install, const QString& name) {
                m_installJob = install;
                if (!m_jobSheet)
                    m_jobSheet = new JobSheet(m_window, this);
                m_jobSheet->bind(install, localizedString(QT_TRANSLATE_NOOP(
                                              "Quillmor", "Updating %1 (%2 of %3)…"))
                                              .arg(name)
                                              .arg(run->summary().started)
                                              .arg(run->summary().total));
            });
    connect(run, &Job::finished, this, [this, run] {
        run->deleteLater();
        m_updateAllJob = nullptr;
        m_downloadStatus->setPresentsErrors(true);
        validateUpdateAll();
        showUpdateAllSummary(run->summary());
    });
    // Each failure goes into the summary rather than a sheet of its own.
    m_downloadStatus->setPresentsErrors(false);
    validateUpdateAll();
    run->start();
}

void Launcher::showUpdateAllSummary(const UpdateAllJob::Summary& run)
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
    showAlert(message, detail.join(u'\n'),
              run.failures.isEmpty() ? Alert::Informational : Alert::Critical);
}
