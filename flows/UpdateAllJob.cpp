#include "flows/UpdateAllJob.h"

#include "catalogue/Database.h"
#include "flows/InstallJob.h"
#include "install/Locations.h"
#include "platform/Localization.h"

UpdateAllJob::UpdateAllJob(Database* database, MakeInstall makeInstall, QObject* parent)
    : Job(parent), m_database(database), m_makeInstall(std::move(makeInstall))
{
}

void UpdateAllJob::start()
{
    setRunning();
    m_summary = {};
    m_queue.clear();
    for (qsizetype index = 0; index < m_database->count(); ++index) {
        const LevelEntry entry = m_database->objectAtIndex(index);
        if (checkInstall(entry) == UpdateAvailable)
            m_queue.append(LevelIdentity::of(entry));
    }
    m_summary.total = int(m_queue.size());
    next();
}

void UpdateAllJob::cancel()
{
    if (!isRunning())
        return;
    m_summary.cancelled = true;
    m_queue.clear();
    if (m_current)
        m_current->cancel();
    else
        finish(Outcome::cancelled());
}

void UpdateAllJob::next()
{
    while (!m_queue.isEmpty()) {
        // Looked up afresh: an install replaces the entries it records.
        const qsizetype index = m_database->indexOfLevel(m_queue.takeFirst());
        if (index < 0)
            continue;
        const LevelEntry entry = m_database->objectAtIndex(index);
        if (checkInstall(entry) != UpdateAvailable)
            continue;
        ++m_summary.started;
        InstallJob* install = m_makeInstall(LevelIdentity::of(entry), &m_questions);
        m_current = install;
        const QString name = entry.value(LevelKey::name).toString();
        // Delivered from the event loop: the next install never starts inside this one.
        connect(install, &Job::finished, this, [this, install, name](const Outcome& outcome) {
            install->deleteLater();
            m_current = nullptr;
            if (outcome.kind == Outcome::Succeeded)
                ++m_summary.updated;
            else if (outcome.kind == Outcome::Failed)
                m_summary.failures.append(localizedString(QT_TRANSLATE_NOOP("Quillmor", "%1: %2"))
                                              .arg(name, outcome.reason));
            else
                m_summary.cancelled = true, m_queue.clear();
            next();
        });
        emit installStarted(install, name);
        install->start();
        return;
    }
    finish(m_summary.cancelled ? Outcome::cancelled() : Outcome::success());
}
