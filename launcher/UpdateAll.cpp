#include "launcher/Launcher.h"

#include "catalogue/Database.h"
#include "install/Locations.h"
#include "platform/Alert.h"
#include "platform/Localization.h"
#include "transfer/DownloadSheet.h"
#include "transfer/DownloadStatus.h"

#include <QAction>
#include <QFile>
#include <QPushButton>

void Launcher::validateUpdateAll()
{
    const bool enabled = m_updatesAvailable > 0 && !m_updateAll && !m_windowBlocked &&
                         !(m_downloadStatus && m_downloadStatus->isLoading());
    if (m_updateAllMenuItem)
        m_updateAllMenuItem->setEnabled(enabled);
    if (m_updateAllButton)
        m_updateAllButton->setEnabled(enabled);
}

void Launcher::updateAllLevels(QObject*)
{
    if (m_updateAll || m_downloadStatus->isLoading())
        return;
    UpdateAllRun run;
    for (int row = 0; row < numberOfRowsInTableView(); ++row) {
        const LevelEntry entry = m_database->objectAtIndex(row);
        if (checkInstall(entry) == UpdateAvailable)
            run.queue.append(LevelIdentity::of(entry));
    }
    if (run.queue.isEmpty())
        return;
    run.total = int(run.queue.size());
    m_updateAll = run;
    // Each failure goes into the summary rather than a sheet of its own.
    m_downloadStatus->setPresentsErrors(false);
    validateUpdateAll();
    updateNextLevel();
}

void Launcher::updateNextLevel()
{
    while (!m_updateAll->queue.isEmpty()) {
        // Looked up afresh: an install replaces the entries it records.
        const qsizetype index = m_database->indexOfLevel(m_updateAll->queue.takeFirst());
        if (index < 0)
            continue;
        const LevelEntry entry = m_database->objectAtIndex(index);
        if (checkInstall(entry) != UpdateAvailable)
            continue;
        m_updateAll->current = entry.value(LevelKey::name).toString();
        ++m_updateAll->started;
        // A level that ends before its transfer starts comes back through levelUpdateDidEnd,
        // which leaves the next one to this loop rather than nest a call per level.
        m_updateAll->starting = true;
        downloadLevel(entry);
        m_updateAll->starting = false;
        if (!m_updateAll->current.isEmpty()) {
            m_updateAll->partial = m_downloadStatus->fileBeingWritten();
            // The download controller closes its sheet on Cancel without a word to the caller.
            connect(m_downloadStatus->downloadSheet(), &DownloadSheet::cancelRequested, this,
                    &Launcher::updateAllDownloadCancelled, Qt::UniqueConnection);
            return;
        }
    }
    showUpdateAllSummary();
}

void Launcher::levelUpdateDidEnd(InstallEnd end, const QString& detail)
{
    switch (end) {
    case InstallEnd::Installed:
        ++m_updateAll->updated;
        break;
    case InstallEnd::Failed:
        m_updateAll->failures.append(localizedString(QT_TRANSLATE_NOOP("Quillmor", "%1: %2"))
                                         .arg(m_updateAll->current, detail));
        break;
    case InstallEnd::Cancelled:
        m_updateAll->cancelled = true;
        m_updateAll->queue.clear();
        break;
    }
    m_updateAll->current.clear();
    m_updateAll->partial.clear();
    if (!m_updateAll->starting)
        updateNextLevel();
}

void Launcher::updateAllDownloadCancelled()
{
    if (!m_updateAll || m_updateAll->current.isEmpty())
        return;
    // A cut-off archive is of no use to the next try.
    if (m_updateAll->partial.isLocalFile())
        QFile::remove(m_updateAll->partial.toLocalFile());
    levelUpdateDidEnd(InstallEnd::Cancelled, {});
}

void Launcher::showUpdateAllSummary()
{
    const UpdateAllRun run = *std::exchange(m_updateAll, std::nullopt);
    m_downloadStatus->setPresentsErrors(true);
    validateUpdateAll();
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
